#include "ui/module_version.h"

#include <cstring>
#include <vector>

#include "platform/module_version.h"
#include "ui/version_numbers.h"

namespace {

constexpr char kVersionSection[] = ".locanym_version";

// The record is found by its section and checked by its tag and signature, so a file that
// happens to carry a section of that name is not taken for a version.
struct CVersionRecord {
    char szTag[16];
    CFixedVersionInfo info;
};

constexpr char kVersionTag[16] = "LocanymVersion";

// The section attribute puts the record where the reader looks for it; "used" keeps it through
// optimisation. It shares this object file with its reader, so any binary that can ask for the
// record also carries it.
__attribute__((used, section(".locanym_version"))) const CVersionRecord g_versionRecord = {
    "LocanymVersion",
    {kVersionSignature, 0x00010000, (LOCANYM_VERSION_MAJOR << 16) | LOCANYM_VERSION_MINOR,
     (LOCANYM_VERSION_PATCH << 16) | LOCANYM_VERSION_TWEAK,
     (LOCANYM_VERSION_MAJOR << 16) | LOCANYM_VERSION_MINOR,
     (LOCANYM_VERSION_PATCH << 16) | LOCANYM_VERSION_TWEAK, 0x3F, 0, 0x40004 /* 32-bit NT */,
     2 /* dynamic library */, 0, 0, 0}};

std::wstring ThreeNumbers(const CModuleVersion& version) {
    return std::to_wstring(version.dwProductVersionMS >> 16) + L"." +
           std::to_wstring(version.dwProductVersionMS & 0xFFFF) + L"." +
           std::to_wstring(version.dwProductVersionLS >> 16);
}

}  // namespace

bool CModuleVersion::GetFileVersionInfo(const wchar_t* pszModule) {
    static_cast<CFixedVersionInfo&>(*this) = CFixedVersionInfo();
    std::vector<uint8_t> bytes;
    if (!ReadModuleSection(pszModule, kVersionSection, 4096, bytes)) return false;
    if (bytes.size() < sizeof(CVersionRecord)) return false;
    CVersionRecord record;
    std::memcpy(&record, bytes.data(), sizeof(record));
    if (std::memcmp(record.szTag, kVersionTag, sizeof(kVersionTag)) != 0 ||
        record.info.dwSignature != kVersionSignature)
        return false;
    static_cast<CFixedVersionInfo&>(*this) = record.info;
    return true;
}

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
