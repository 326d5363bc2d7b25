#include "core/settings.h"

#include <cstring>
#include <cwchar>
#include <vector>

#include "base/text.h"

const wchar_t kSettingsSection[] = L"LocanymPlugIn";
const wchar_t kApiKeyPrefix[] = L"AK-";

namespace {
// The host is told the buffer holds 1023 characters; the buffer is larger, so that a host that
// writes more than it was told to still writes into memory of ours, and what it wrote is cut.
constexpr size_t kReadTextSlack = 4096;

uint64_t Address(const void* p) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p));
}

// A record with every byte zero but the section, key and type.
SLD_PROFILE_RECORD NewRecord(const wchar_t* pszSection, const wchar_t* pszKey, int32_t nType) {
    SLD_PROFILE_RECORD record;
    std::memset(&record, 0, sizeof record);
    record.section = Address(pszSection);
    record.key = Address(pszKey);
    record.type = nType;
    return record;
}
}  // namespace

using S = CPlugInSettings;
using D = CLocanymDlgValues;
constexpr bool kShapes = true;
constexpr bool kKeeps = false;
constexpr ESettingKind kText = ESettingKind::kText;
constexpr ESettingKind kEscaped = ESettingKind::kEscapedText;

const SSettingKey kSettingKeys[] = {
    IntKey(L"Enabled", &S::m_bEnabled, &D::m_bEnabled, 0, kKeeps),
    IntKey(L"iProv", &S::m_iProv, &D::m_iProv, 0, kShapes),
    IntKey(L"GeoType", &S::m_nGeoType, &D::m_nGeoType, 1, kShapes),
    IntKey(L"Geo1", &S::m_bGeo1, &D::m_bGeo1, 0, kShapes),
    IntKey(L"Geo2", &S::m_bGeo2, &D::m_bGeo2, 0, kShapes),
    TextKey(L"GeoCC1", kText, &S::m_strGeoCC1, &D::m_strGeoCC1, L"", kShapes),
    TextKey(L"GeoCC2", kText, &S::m_strGeoCC2, &D::m_strGeoCC2, L"", kShapes),
    IntKey(L"ErrMsg", &S::m_bErrMsg, &D::m_bErrMsg, 1, kKeeps),
    TextKey(L"Lang", kText, &S::m_strLang, &D::m_strLang, L"", kShapes),
    TextKey(L"Format", kText, &S::m_strFormat, &D::m_strFormat, L"%A", kShapes),
    TextKey(L"Sep", kEscaped, &S::m_strSep, &D::m_strSep, L"\", \"", kShapes),
    IntKey(L"AState", &S::m_bAState, &D::m_bAState, 1, kShapes),
    IntKey(L"ACountry", &S::m_bACountry, &D::m_bACountry, 1, kShapes),
    IntKey(L"Offline", &S::m_bOffline, &D::m_bOffline, 0, kKeeps),
};

std::span<const SSettingKey> SettingKeys() {
    return kSettingKeys;
}

void CopySettingsToDialog(const CPlugInSettings& settings, CLocanymDlgValues& values) {
    for (const SSettingKey& key : kSettingKeys) {
        if (key.eKind == ESettingKind::kInt)
            values.*key.pnDialog = settings.*key.pnSetting;
        else
            values.*key.pstrDialog = settings.*key.pstrSetting;
    }
}

void CopyDialogToSettings(const CLocanymDlgValues& values, CPlugInSettings& settings) {
    for (const SSettingKey& key : kSettingKeys) {
        if (key.eKind == ESettingKind::kInt)
            settings.*key.pnSetting = values.*key.pnDialog;
        else
            settings.*key.pstrSetting = values.*key.pstrDialog;
    }
}

bool CaptionSettingsDiffer(const CPlugInSettings& settings, const CLocanymDlgValues& values) {
    for (const SSettingKey& key : kSettingKeys) {
        if (!key.bShapesCaption) continue;
        const bool bDiffers = key.eKind == ESettingKind::kInt
                                  ? values.*key.pnDialog != settings.*key.pnSetting
                                  : values.*key.pstrDialog != settings.*key.pstrSetting;
        if (bDiffers) return true;
    }
    return false;
}

int32_t CSettingsStore::ReadInt(const wchar_t* pszSection, const wchar_t* pszKey,
                                int32_t nDefault) {
    SLD_PROFILE_RECORD record = NewRecord(pszSection, pszKey, kProfileInt);
    record.def = static_cast<uint32_t>(nDefault);
    if (m_pfnHost) m_pfnHost(kCbReadSetting, reinterpret_cast<uintptr_t>(&record), 0);
    return static_cast<int32_t>(static_cast<uint32_t>(record.value & 0xFFFFFFFFu));
}

std::wstring CSettingsStore::ReadString(const wchar_t* pszSection, const wchar_t* pszKey,
                                        const wchar_t* pszDefault) {
    std::vector<wchar_t> buffer(kReadTextSlack, L'\0');
    SLD_PROFILE_RECORD record = NewRecord(pszSection, pszKey, kProfileText);
    record.value = Address(buffer.data());
    record.def = Address(pszDefault);
    record.capacity = kProfileTextCapacity;
    if (m_pfnHost) m_pfnHost(kCbReadSetting, reinterpret_cast<uintptr_t>(&record), 0);

    // The host may have pointed the value at its own text; read at most the capacity either
    // way, so that a missing NUL cannot take the read past the buffer.
    const wchar_t* pszText = reinterpret_cast<const wchar_t*>(static_cast<uintptr_t>(record.value));
    if (!pszText) return std::wstring();
    return std::wstring(pszText, wcsnlen(pszText, kProfileTextCapacity));
}

void CSettingsStore::WriteInt(const wchar_t* pszSection, const wchar_t* pszKey, int32_t nValue) {
    SLD_PROFILE_RECORD record = NewRecord(pszSection, pszKey, kProfileInt);
    record.value = static_cast<uint32_t>(nValue);
    if (m_pfnHost) m_pfnHost(kCbWriteSetting, reinterpret_cast<uintptr_t>(&record), 0);
}

void CSettingsStore::WriteString(const wchar_t* pszSection, const wchar_t* pszKey,
                                 const std::wstring& strValue) {
    SLD_PROFILE_RECORD record = NewRecord(pszSection, pszKey, kProfileText);
    record.value = Address(strValue.c_str());
    if (m_pfnHost) m_pfnHost(kCbWriteSetting, reinterpret_cast<uintptr_t>(&record), 0);
}

void CSettingsStore::Load(CPlugInSettings& settings) {
    for (const SSettingKey& key : kSettingKeys) {
        if (key.eKind == ESettingKind::kInt) {
            settings.*key.pnSetting = ReadInt(kSettingsSection, key.pszKey, key.nDefault);
            continue;
        }
        std::wstring& strValue = settings.*key.pstrSetting;
        strValue = ReadString(kSettingsSection, key.pszKey, key.pszDefault);
        if (key.eKind == ESettingKind::kEscapedText) UnescapeText(strValue);
    }
}

void CSettingsStore::Save(const CPlugInSettings& settings) {
    for (const SSettingKey& key : kSettingKeys) {
        if (key.eKind == ESettingKind::kInt) {
            WriteInt(kSettingsSection, key.pszKey, settings.*key.pnSetting);
            continue;
        }
        std::wstring strValue = settings.*key.pstrSetting;
        if (key.eKind == ESettingKind::kEscapedText) EscapeText(strValue, true);
        WriteString(kSettingsSection, key.pszKey, strValue);
    }
}
