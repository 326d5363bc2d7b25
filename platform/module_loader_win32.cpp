#include <windows.h>

#include <vector>

#include "base/text.h"
#include "platform/module_loader.h"
#include "platform/system_error_win32.h"

namespace {

// The system's text for a GetLastError code, in UTF-8 with the code.
std::string Win32Error(DWORD dwError) {
    const std::wstring strText = SystemErrorText(dwError);
    if (strText.empty()) return "error " + std::to_string(dwError);
    return WideToUtf8(strText) + " (error " + std::to_string(dwError) + ")";
}

// A relative path counts from the current folder, as on POSIX: never from the DLL search path.
std::wstring FullPath(const std::wstring& strPath) {
    const DWORD nNeeded = GetFullPathNameW(strPath.c_str(), 0, nullptr, nullptr);
    if (nNeeded == 0) return strPath;
    std::vector<wchar_t> buffer(nNeeded);
    const DWORD nLength = GetFullPathNameW(strPath.c_str(), nNeeded, buffer.data(), nullptr);
    if (nLength == 0 || nLength >= nNeeded) return strPath;
    return std::wstring(buffer.data(), nLength);
}

}  // namespace

CModuleLoader::~CModuleLoader() {
    Unload();
}

bool CModuleLoader::Load(const std::string& strPath, std::string& strError) {
    Unload();
    const std::wstring strFull = FullPath(Utf8ToWide(strPath));
    // No message box for a missing dependency or a bad file: the failure is reported as text.
    DWORD dwOldMode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &dwOldMode);
    // The module's own folder is searched first for the DLLs it depends on.
    HMODULE hModule = LoadLibraryExW(strFull.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    const DWORD dwError = GetLastError();
    SetThreadErrorMode(dwOldMode, nullptr);
    if (!hModule) {
        strError = Win32Error(dwError);
        return false;
    }
    m_hModule = hModule;
    return true;
}

void* CModuleLoader::FindSymbol(const char* pszName) const {
    if (!m_hModule) return nullptr;
    // Through void*: the caller casts to the entry point's real type.
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(m_hModule), pszName));
}

void CModuleLoader::Unload() {
    if (m_hModule) FreeLibrary(static_cast<HMODULE>(m_hModule));
    m_hModule = nullptr;
}
