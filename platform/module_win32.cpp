#include <windows.h>

#include <vector>

#include "base/path.h"
#include "platform/module.h"

namespace {
void AddressInsideModule() {}
}  // namespace

std::wstring GetOwnModulePath() {
    HMODULE hModule = nullptr;
    // The module that holds this function: the DLL when linked into it, else the program.
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&AddressInsideModule), &hModule))
        return std::wstring();
    // GetModuleFileNameW cuts a long path silently: grow the buffer until the path fits.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD nLength =
            GetModuleFileNameW(hModule, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (nLength == 0) return std::wstring();
        if (nLength < buffer.size()) return std::wstring(buffer.data(), nLength);
        if (buffer.size() >= 32768) return std::wstring();
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring GetOwnModuleName() {
    return PathFileTitle(GetOwnModulePath(), true);
}
