// The settings exchange with the host's storage (callback codes 6 and 5, section
// "LocanymPlugIn") over one table of keys: load, save, the changed-check, the dialog values
// and the reference host's list of keys all come from kSettingKeys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "base/host_api.h"
#include "core/settings_ui.h"
#include "services/plugin_settings.h"

extern const wchar_t kSettingsSection[];  // "LocanymPlugIn"
// The key of a service's API key is this prefix and the service's name.
extern const wchar_t kApiKeyPrefix[];  // "AK-"

enum class ESettingKind {
    kInt,
    kText,
    kEscapedText,  // stored with escapes (EscapeText), held decoded
};

// One stored setting: its key, where it lives in the settings and in the dialog values, the
// default a load asks the host for, and whether a change reshapes captions (and so empties the
// cache when the dialog confirms it).
struct SSettingKey {
    const wchar_t* pszKey;
    ESettingKind eKind;
    int32_t CPlugInSettings::*pnSetting;
    int32_t CLocanymDlgValues::*pnDialog;
    std::wstring CPlugInSettings::*pstrSetting;
    std::wstring CLocanymDlgValues::*pstrDialog;
    int32_t nDefault;
    const wchar_t* pszDefault;
    bool bShapesCaption;
};

constexpr SSettingKey IntKey(const wchar_t* pszKey, int32_t CPlugInSettings::*pnSetting,
                             int32_t CLocanymDlgValues::*pnDialog, int32_t nDefault,
                             bool bShapesCaption) {
    return {pszKey,  ESettingKind::kInt, pnSetting, pnDialog,      nullptr,
            nullptr, nDefault,           nullptr,   bShapesCaption};
}

constexpr SSettingKey TextKey(const wchar_t* pszKey, ESettingKind eKind,
                              std::wstring CPlugInSettings::*pstrSetting,
                              std::wstring CLocanymDlgValues::*pstrDialog,
                              const wchar_t* pszDefault, bool bShapesCaption) {
    return {pszKey,     eKind, nullptr,    nullptr,       pstrSetting,
            pstrDialog, 0,     pszDefault, bShapesCaption};
}

// In the order the host is asked (load) and told (save); the API keys follow them.
std::span<const SSettingKey> SettingKeys();

// The values of the table's settings as the dialog shows them. The API keys are not in it.
void CopySettingsToDialog(const CPlugInSettings& settings, CLocanymDlgValues& values);
void CopyDialogToSettings(const CLocanymDlgValues& values, CPlugInSettings& settings);
// True when the dialog values differ from the settings in a setting that shapes captions.
bool CaptionSettingsDiffer(const CPlugInSettings& settings, const CLocanymDlgValues& values);

// Reads and writes single values in the host's storage. Each call asks the host once and does
// nothing while no host callback is known. Runs on the host's message thread.
class CSettingsStore {
  public:
    void SetHostCallback(SldHostCallback pfnHost) { m_pfnHost = pfnHost; }

    int32_t ReadInt(const wchar_t* pszSection, const wchar_t* pszKey, int32_t nDefault);
    std::wstring ReadString(const wchar_t* pszSection, const wchar_t* pszKey,
                            const wchar_t* pszDefault);
    void WriteInt(const wchar_t* pszSection, const wchar_t* pszKey, int32_t nValue);
    void WriteString(const wchar_t* pszSection, const wchar_t* pszKey,
                     const std::wstring& strValue);

    // Every key of the table, in its order.
    void Load(CPlugInSettings& settings);
    void Save(const CPlugInSettings& settings);

  private:
    SldHostCallback m_pfnHost = nullptr;
};
