// The three settings dialogs: the main one (resource 101), the API key dialog (103) and the
// GeoNames options (1009). Each edits plain members that its opener fills before DoModal and
// reads back after kIdOk; none checks what the user typed.
#pragma once

#include <cstdint>
#include <string>

#include "ui/dialog.h"
#include "ui/static_link.h"

// The public page listing the ISO 639-1 two-letter language codes.
extern const wchar_t* const kLanguageCodesUrl;

// Edits one service's user key (for GeoNames the account name).
class CAPiKeyDlg : public CDialog {
  public:
    // actions: reads the key of service m_nService when the dialog opens and, on OK, gives the
    // service the trimmed key at once; must outlive the dialog.
    explicit CAPiKeyDlg(ISettingsActions& actions);
    ~CAPiKeyDlg() override;

    CStaticLink m_linkRegister;
    std::wstring m_strKey;
    int32_t m_nService = 0;  // index of the service whose key is edited; set before DoModal

  protected:
    bool OnInitDialog() override;
    void DoDataExchange(bool bSave) override;

  private:
    ISettingsActions& m_actions;
};

// The five options only the GeoNames service uses.
class CGeoNamesDlg : public CDialog {
  public:
    // actions: where the link sends its clicks; must outlive the dialog.
    explicit CGeoNamesDlg(ISettingsActions& actions);
    ~CGeoNamesDlg() override;

    int32_t m_nGeoType = 0;
    int32_t m_bGeo1 = 0;
    int32_t m_bGeo2 = 0;
    std::wstring m_strGeoCC1;
    std::wstring m_strGeoCC2;
    CStaticLink m_linkCodes;

  protected:
    bool OnInitDialog() override;
    void DoDataExchange(bool bSave) override;
};

// The main settings dialog.
class CLocanymDlg : public CDialog {
  public:
    // actions: the application's side (services, cache, help, links); must outlive the dialog.
    explicit CLocanymDlg(ISettingsActions& actions);
    ~CLocanymDlg() override;

    int32_t m_bEnabled = 0;
    int32_t m_bErrMsg = 0;
    int32_t m_iProv = 0;  // changes as soon as the list selection does, also before OK
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
    CStaticLink m_linkCodes;

    void OnCommand(int nId) override;

  protected:
    bool OnInitDialog() override;
    void DoDataExchange(bool bSave) override;

  private:
    void EnableControls();
    void OnSelChangeService();
    void OnApiKey();
    void OnGeoNames();
    void OnClearCache();
    void OnHelp();
    // Shows "Api Key..." only for a service that has a sign-up page.
    void ShowApiKeyButtonFor(int32_t nService);

    ISettingsActions& m_actions;
};
