#include "platform/module_version.h"

namespace {

std::wstring ThreeNumbers(const CModuleVersion& version) {
    return std::to_wstring(version.dwProductVersionMS >> 16) + L"." +
           std::to_wstring(version.dwProductVersionMS & 0xFFFF) + L"." +
           std::to_wstring(version.dwProductVersionLS >> 16);
}

}  // namespace

std::wstring GetVersionMessageText() {
    CModuleVersion version;
    if (!version.GetFileVersionInfo(nullptr)) return L"Locanym Unknown version";
    return L"Locanym v" + ThreeNumbers(version);
}

std::wstring AppendVersionToCaption(const std::wstring& strCaption) {
    CModuleVersion version;
    if (!version.GetFileVersionInfo(nullptr)) return strCaption;
    return strCaption + L" " + ThreeNumbers(version);
}
