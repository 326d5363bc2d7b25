// The settings dialog as the application sees it. The application owns one ISettingsUI, made by
// CreateSettingsUI() of the dialog backend linked into the module (ui/), and offers the dialog
// what it may do through ISettingsActions. Everything here runs on the host's thread that
// delivered the configure message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// The values the settings dialog edits (the separator in its decoded form).
struct CLocanymDlgValues {
    int32_t m_bEnabled = 0;
    int32_t m_iProv = 0;
    int32_t m_bErrMsg = 0;
    std::wstring m_strLang;
    std::wstring m_strFormat;
    int32_t m_nGeoType = 0;
    int32_t m_bGeo1 = 0;
    int32_t m_bGeo2 = 0;
    std::wstring m_strGeoCC1;
    std::wstring m_strGeoCC2;
    int32_t m_bAState = 0;
    int32_t m_bACountry = 0;
    std::wstring m_strSep;
    int32_t m_bOffline = 0;
};

// What the dialog may ask of the application while it is open.
class ISettingsActions {
  public:
    virtual ~ISettingsActions() = default;
    // Empties the location cache, in memory and on disk.
    virtual void ClearCache() = 0;
    // Opens the address with the desktop's opener; false when it could not be started.
    virtual bool OpenAddress(const std::wstring& strUrl) = 0;
    // Puts the text on the clipboard; false when it could not.
    virtual bool CopyText(const std::wstring& strText) = 0;
    // Shows the plug-in's help over the window hParent (0: no parent).
    virtual void OpenHelp(uintptr_t hParent) = 0;
    // The services in the order of iProv.
    virtual size_t GetServiceCount() const = 0;
    virtual std::wstring GetServiceName(size_t i) const = 0;
    virtual std::wstring GetHomePageUrl(size_t i) const = 0;
    virtual std::wstring GetSignUpUrl(size_t i) const = 0;
    // The key (for GeoNames the account name) the user stored for service i; empty when none
    // or when i names no service. Never the service's built-in default.
    virtual std::wstring GetUserApiKey(size_t i) const = 0;
    // Gives service i the user's key at once; a Cancel of the main dialog afterwards does not
    // undo it. Empty: the service goes back to its built-in default. An i past the services
    // does nothing. A new key sets the settings-changed flag (message 8); it reaches the host's
    // store with the other settings (message 6).
    virtual void SetUserApiKey(size_t i, const std::wstring& strKey) = 0;
    // "Locanym v1.0.1" or "Locanym Unknown version".
    virtual std::wstring GetVersionText() const = 0;
};

class ISettingsUI {
  public:
    virtual ~ISettingsUI() = default;
    // Runs the dialog modally over the host window hParent. True on OK: values hold the
    // confirmed values; false leaves them as they came.
    virtual bool RunSettingsDialog(uintptr_t hParent, CLocanymDlgValues& values,
                                   ISettingsActions& actions) = 0;
};

// Made by the dialog backend chosen at build time; never null.
std::unique_ptr<ISettingsUI> CreateSettingsUI();
