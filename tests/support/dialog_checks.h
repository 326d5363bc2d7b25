// What the tests of the settings dialogs share, whatever runs the windows (the scripted backend,
// GTK, Win32): the application's side with six services recording every action asked for, the
// values the main dialog opens with, the check that a real window holds every control of a
// dialog's resource, and one value round trip per control kind through the window's
// IDialogHost. Toolkit-free; header only.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/text.h"
#include "core/settings_ui.h"
#include "ui/locanym_dlg.h"

class CRecordingActions : public ISettingsActions {
  public:
    std::vector<std::pair<std::wstring, std::wstring>> m_services = {
        {L"LocationIQ", L"https://locationiq.example/dashboard"},
        {L"GeoApify", L"https://geoapify.example/projects"},
        {L"GeoNames", L"https://geonames.example/login"},
        {L"BigDataCloud", L"https://bigdatacloud.example/"},
        {L"MapsCo", L"https://maps.example/signup"},
        {L"OpenWeather", L"https://openweather.example/api"},
    };
    int m_nClearCache = 0;
    std::vector<std::wstring> m_opened, m_copied, m_keys = {L"", L"", L"old-user"};
    std::vector<uintptr_t> m_helpParents;

    void ClearCache() override { ++m_nClearCache; }
    bool OpenAddress(const std::wstring& strUrl) override {
        m_opened.push_back(strUrl);
        return true;
    }
    bool CopyText(const std::wstring& strText) override {
        m_copied.push_back(strText);
        return true;
    }
    void OpenHelp(uintptr_t hParent) override { m_helpParents.push_back(hParent); }
    size_t GetServiceCount() const override { return m_services.size(); }
    std::wstring GetServiceName(size_t i) const override { return m_services.at(i).first; }
    std::wstring GetHomePageUrl(size_t i) const override { return m_services.at(i).second; }
    std::wstring GetSignUpUrl(size_t i) const override { return m_services.at(i).second; }
    std::wstring GetUserApiKey(size_t i) const override {
        return i < m_keys.size() ? m_keys[i] : std::wstring();
    }
    void SetUserApiKey(size_t i, const std::wstring& strKey) override {
        if (m_keys.size() <= i) m_keys.resize(i + 1);
        m_keys[i] = strKey;
    }
    std::wstring GetVersionText() const override { return L"Locanym v1.0.1"; }
};

inline CLocanymDlgValues SomeDialogValues() {
    CLocanymDlgValues values{};
    values.m_bEnabled = values.m_bErrMsg = values.m_bAState = values.m_bACountry = 1;
    values.m_iProv = 3;
    values.m_strLang = L"fr";
    values.m_strFormat = L"%A";
    values.m_nGeoType = 1;
    values.m_strGeoCC1 = L"IT";
    values.m_strSep = L", ";
    return values;
}

// What a toolkit's window shows for one control of the resource table.
struct SControlSeen {
    bool bFound = false;
    bool bKindMatches = false;  // the widget class and style the control's kind and flags ask for
    std::wstring strText;       // caption or label; not compared for edits and lists
};

// The problems of a window against its resource, one line each; probe(i) looks at the control
// at index i of the table. bTextPrefix: texts may be completed at run time (the key dialog's
// link gets its address).
inline std::vector<std::string> CheckControlsOfResource(
    const CDialogResource& dialog, bool bTextPrefix,
    const std::function<SControlSeen(size_t)>& probe) {
    std::vector<std::string> problems;
    for (size_t i = 0; i < dialog.controls.size(); ++i) {
        const CControlResource& control = dialog.controls[i];
        const std::string strName = std::to_string(dialog.nId) + "/" + std::to_string(control.nId);
        const SControlSeen seen = probe(i);
        if (!seen.bFound) {
            problems.push_back("missing " + strName);
            continue;
        }
        if (!seen.bKindMatches) problems.push_back("kind of " + strName);
        if (control.kind == EControlKind::kEdit || control.kind == EControlKind::kDropDownList)
            continue;
        const std::wstring strWanted = control.pszText;
        if (bTextPrefix ? seen.strText.rfind(strWanted, 0) != 0 : seen.strText != strWanted)
            problems.push_back("text of " + strName + ": '" + WideToUtf8(seen.strText) + "'");
    }
    return problems;
}

// Writes a check box, an edit, a list and a link's state of the main dialog through host and
// reads each back; the problems found. readBack(nId) gives what the toolkit's own widget shows:
// "(off)" when it is switched off, else the check box "1" or "0", a list its selected entry,
// others their text.
inline std::vector<std::string> RoundTripMainDialogControls(
    IDialogHost& host, const std::function<std::wstring(int)>& readBack) {
    std::vector<std::string> problems;
    auto expect = [&problems](bool bOk, const char* pszWhat) {
        if (!bOk) problems.push_back(pszWhat);
    };
    const bool bChecked = host.GetCheck(kIdcErrMsg);
    host.SetCheck(kIdcErrMsg, !bChecked);
    expect(host.GetCheck(kIdcErrMsg) != bChecked, "check box");
    expect(readBack(kIdcErrMsg) == (bChecked ? L"0" : L"1"), "check box on screen");
    const std::wstring strText = L"pt-BR \u00e9\u6771";
    host.SetText(kIdcLang, strText);
    expect(host.GetText(kIdcLang) == strText, "edit");
    expect(readBack(kIdcLang) == strText, "edit on screen");
    expect(host.GetListCount(kIdcService) == 6, "list entries");
    host.SetListSel(kIdcService, 4);
    expect(host.GetListSel(kIdcService) == 4, "list selection");
    expect(readBack(kIdcService) == host.GetListItem(kIdcService, 4), "list on screen");
    host.SetCheck(kIdcErrMsg, bChecked);
    // A link switched off looks off, like the labels around it.
    host.Enable(kIdcLangCodesLink, false);
    expect(!host.IsEnabled(kIdcLangCodesLink), "link state");
    expect(readBack(kIdcLangCodesLink) == L"(off)", "link switched off on screen");
    host.Enable(kIdcLangCodesLink, true);
    expect(readBack(kIdcLangCodesLink) != L"(off)", "link switched on on screen");
    return problems;
}

// The main dialog with the IDialogHost of its window in reach of a test, while it runs.
class CProbedMainDlg : public CLocanymDlg {
  public:
    using CDialog::Host;
    using CLocanymDlg::CLocanymDlg;
};
