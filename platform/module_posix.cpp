#include <dlfcn.h>

#include "core/text.h"
#include "platform/module.h"

namespace {
void AddressInsideModule() {}
}  // namespace

std::wstring GetOwnModulePath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&AddressInsideModule), &info) == 0 || !info.dli_fname)
        return std::wstring();
    return Utf8ToWide(info.dli_fname);
}

std::wstring GetOwnModuleName() {
    std::wstring path = GetOwnModulePath();
    size_t slash = path.find_last_of(L"/\\");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos && dot != 0) name.erase(dot);
    return name;
}
