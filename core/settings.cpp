#include "core/settings.h"

#include <cstring>
#include <cwchar>
#include <vector>

#include "core/app.h"
#include "core/text.h"

const wchar_t kSettingsSection[] = L"LocanymPlugIn";

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

bool CPlugInSettings::IsCountryInList(std::wstring_view strCountryCode, int nSelector) const {
    if (strCountryCode.empty()) return true;
    std::wstring_view rest = nSelector == 0 ? m_strGeoCC1 : m_strGeoCC2;
    while (!rest.empty()) {
        std::wstring_view entry;
        size_t comma = rest.find(L',');
        if (comma != std::wstring_view::npos) {
            entry = rest.substr(0, comma);
            rest = rest.substr(comma + 1);
        } else {
            entry = rest;
            rest = {};
        }
        if (EqualsNoCaseAscii(TrimWhiteSpace(entry), strCountryCode)) return true;
    }
    return false;
}

int32_t CLocanymApp::ReadSettingInt(const wchar_t* pszSection, const wchar_t* pszKey,
                                    int32_t nDefault) {
    SLD_PROFILE_RECORD record = NewRecord(pszSection, pszKey, kProfileInt);
    record.def = static_cast<uint32_t>(nDefault);
    CallHost(kCbReadSetting, reinterpret_cast<uintptr_t>(&record), 0);
    return static_cast<int32_t>(static_cast<uint32_t>(record.value & 0xFFFFFFFFu));
}

std::wstring CLocanymApp::ReadSettingString(const wchar_t* pszSection, const wchar_t* pszKey,
                                            const wchar_t* pszDefault) {
    std::vector<wchar_t> buffer(kReadTextSlack, L'\0');
    SLD_PROFILE_RECORD record = NewRecord(pszSection, pszKey, kProfileText);
    record.value = Address(buffer.data());
    record.def = Address(pszDefault);
    record.capacity = kProfileTextCapacity;
    CallHost(kCbReadSetting, reinterpret_cast<uintptr_t>(&record), 0);

    // The host may have pointed the value at its own text; read at most the capacity either
    // way, so that a missing NUL cannot take the read past the buffer.
    const wchar_t* pszText = reinterpret_cast<const wchar_t*>(static_cast<uintptr_t>(record.value));
    if (!pszText) return std::wstring();
    return std::wstring(pszText, wcsnlen(pszText, kProfileTextCapacity));
}

void CLocanymApp::WriteSettingInt(const wchar_t* pszSection, const wchar_t* pszKey,
                                  int32_t nValue) {
    SLD_PROFILE_RECORD record = NewRecord(pszSection, pszKey, kProfileInt);
    record.value = static_cast<uint32_t>(nValue);
    CallHost(kCbWriteSetting, reinterpret_cast<uintptr_t>(&record), 0);
}

void CLocanymApp::WriteSettingString(const wchar_t* pszSection, const wchar_t* pszKey,
                                     const std::wstring& strValue) {
    SLD_PROFILE_RECORD record = NewRecord(pszSection, pszKey, kProfileText);
    record.value = Address(strValue.c_str());
    CallHost(kCbWriteSetting, reinterpret_cast<uintptr_t>(&record), 0);
}

void CLocanymApp::LoadSettings() {
    const wchar_t* s = kSettingsSection;
    m_bEnabled = ReadSettingInt(s, L"Enabled", 0);
    m_iProv = ReadSettingInt(s, L"iProv", 0);
    m_nGeoType = ReadSettingInt(s, L"GeoType", 1);
    m_bGeo1 = ReadSettingInt(s, L"Geo1", 0);
    m_bGeo2 = ReadSettingInt(s, L"Geo2", 0);
    m_strGeoCC1 = ReadSettingString(s, L"GeoCC1", L"");
    m_strGeoCC2 = ReadSettingString(s, L"GeoCC2", L"");
    m_bErrMsg = ReadSettingInt(s, L"ErrMsg", 1);
    m_strLang = ReadSettingString(s, L"Lang", L"");
    m_strFormat = ReadSettingString(s, L"Format", L"%A");
    m_strSep = ReadSettingString(s, L"Sep", L"\", \"");
    UnescapeText(m_strSep);
    m_bAState = ReadSettingInt(s, L"AState", 1);
    m_bACountry = ReadSettingInt(s, L"ACountry", 1);
    if (static_cast<uint32_t>(m_iProv) > 5u) m_iProv = 0;
    for (auto& pService : m_services) {
        if (!pService) continue;
        std::wstring strKey = L"AK-" + pService->GetServiceName();
        pService->m_strApiKey = ReadSettingString(s, strKey.c_str(), L"");
    }
    m_bSettingsChanged = 0;
}

void CLocanymApp::SaveSettings() {
    const wchar_t* s = kSettingsSection;
    WriteSettingInt(s, L"Enabled", m_bEnabled);
    WriteSettingInt(s, L"iProv", m_iProv);
    WriteSettingInt(s, L"GeoType", m_nGeoType);
    WriteSettingInt(s, L"Geo1", m_bGeo1);
    WriteSettingInt(s, L"Geo2", m_bGeo2);
    WriteSettingString(s, L"GeoCC1", m_strGeoCC1);
    WriteSettingString(s, L"GeoCC2", m_strGeoCC2);
    WriteSettingInt(s, L"ErrMsg", m_bErrMsg);
    WriteSettingString(s, L"Lang", m_strLang);
    WriteSettingString(s, L"Format", m_strFormat);
    std::wstring strSep = m_strSep;
    EscapeText(strSep, true);
    WriteSettingString(s, L"Sep", strSep);
    WriteSettingInt(s, L"AState", m_bAState);
    WriteSettingInt(s, L"ACountry", m_bACountry);
    for (auto& pService : m_services) {
        if (!pService) continue;
        std::wstring strKey = L"AK-" + pService->GetServiceName();
        WriteSettingString(s, strKey.c_str(), pService->m_strApiKey);
    }
    m_bSettingsChanged = 0;
}
