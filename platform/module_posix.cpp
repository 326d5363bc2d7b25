#include <dlfcn.h>

#include "base/path.h"
#include "base/text.h"
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
    return PathFileTitle(GetOwnModulePath(), true);
}
