// The settings dialog as the core sees it: the values it edits, the actions it may ask of the
// application, and the dialog backend that runs it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The values the settings dialog edits (the separator in its decoded form).
struct CLocanymDlgValues {
    int32_t m_bEnabled, m_iProv, m_bErrMsg;
    std::wstring m_strLang, m_strFormat;
    int32_t m_nGeoType, m_bGeo1, m_bGeo2;
    std::wstring m_strGeoCC1, m_strGeoCC2;
    int32_t m_bAState, m_bACountry;
    std::wstring m_strSep;
    std::vector<std::wstring> m_strApiKeys; /* user key per service, index = iProv; empty =
                                               built-in default */
};

// What the dialogs may ask of the application while they run, on the dialog's thread.
class ISettingsActions {
  public:
    virtual ~ISettingsActions() = default;
    virtual void ClearCache() = 0;
    virtual bool OpenAddress(const std::wstring& strUrl) = 0;
    virtual bool CopyText(const std::wstring& strText) = 0;
    virtual void OpenHelp(uintptr_t hParent) = 0;
    virtual size_t GetServiceCount() const = 0;
    virtual std::wstring GetServiceName(size_t i) const = 0;
    virtual std::wstring GetHomePageUrl(size_t i) const = 0;
    virtual std::wstring GetSignUpUrl(size_t i) const = 0;
    virtual std::wstring GetVersionText() const = 0;
};

class ISettingsUI {
  public:
    virtual ~ISettingsUI() = default;
    /* true on OK: values hold the confirmed values; false leaves them as they came */
    virtual bool RunSettingsDialog(uintptr_t hParent, CLocanymDlgValues& values,
                                   ISettingsActions& actions) = 0;
};

std::unique_ptr<ISettingsUI> CreateSettingsUI();  // defined by the chosen dialog backend
