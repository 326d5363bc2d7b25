#include "ui/locanym_dlg.h"

#include <cwctype>

#include "core/settings_ui.h"
#include "platform/module_version.h"

const wchar_t* const kLanguageCodesUrl =
    L"https://www.loc.gov/standards/iso639-2/php/code_list.php";

namespace {

// The controls that "PlugIn Enabled" switches; the description, the group boxes, the Auto
// legend, OK, Cancel, Help and the box itself stay usable.
const int kSwitchedControls[] = {
    kIdcServiceLabel,   kIdcService,     kIdcApiKey,        kIdcGeoNames,          kIdcClearCache,
    kIdcErrMsg,         kIdcLangLabel,   kIdcLang,          kIdcLangCodesLink,     kIdcFormat,
    kIdcLegendLocation, kIdcLegendState, kIdcLegendCountry, kIdcLegendCountryCode, kIdcLegendCity,
    kIdcLegendFull,     kIdcAutoState,   kIdcAutoCountry,   kIdcSepLabel,          kIdcSep,
};

std::wstring Trim(const std::wstring& strText) {
    size_t nEnd = strText.size();
    while (nEnd > 0 && std::iswspace(strText[nEnd - 1])) --nEnd;
    size_t nStart = 0;
    while (nStart < nEnd && std::iswspace(strText[nStart])) ++nStart;
    return strText.substr(nStart, nEnd - nStart);
}

bool IsService(const ISettingsActions& actions, int32_t nService) {
    return nService >= 0 && static_cast<size_t>(nService) < actions.GetServiceCount();
}

}  // namespace

// ---- API key dialog

CAPiKeyDlg::CAPiKeyDlg(ISettingsActions& actions) : CDialog(kIddApiKey), m_actions(actions) {
    SetActions(&actions);
}

CAPiKeyDlg::~CAPiKeyDlg() = default;

bool CAPiKeyDlg::OnInitDialog() {
    const std::wstring strSignUp =
        IsService(m_actions, m_nService) ? m_actions.GetSignUpUrl(m_nService) : std::wstring();
    m_linkRegister.m_link = strSignUp;
    SubclassLink(m_linkRegister, kIdcRegisterLink);
    Host().SetText(kIdcRegisterLink, Host().GetText(kIdcRegisterLink) + strSignUp);
    return CDialog::OnInitDialog();
}

void CAPiKeyDlg::DoDataExchange(bool bSave) {
    const bool bValid = IsService(m_actions, m_nService);
    const size_t nService = static_cast<size_t>(m_nService);
    if (!bSave) {
        m_strKey = bValid ? m_actions.GetUserApiKey(nService) : std::wstring();
        DdxText(false, kIdcKey, m_strKey);
        return;
    }
    DdxText(true, kIdcKey, m_strKey);
    m_strKey = Trim(m_strKey);
    // A key for no service has nowhere to go; it must not land on another service.
    if (bValid) m_actions.SetUserApiKey(nService, m_strKey);
}

// ---- GeoNames dialog

CGeoNamesDlg::CGeoNamesDlg(ISettingsActions& actions) : CDialog(kIddGeoNames) {
    SetActions(&actions);
}

CGeoNamesDlg::~CGeoNamesDlg() = default;

bool CGeoNamesDlg::OnInitDialog() {
    m_linkCodes.m_link = kLanguageCodesUrl;
    SubclassLink(m_linkCodes, kIdcCountryCodesLink);
    return CDialog::OnInitDialog();
}

void CGeoNamesDlg::DoDataExchange(bool bSave) {
    DdxListIndex(bSave, kIdcGeoType, m_nGeoType);
    DdxCheck(bSave, kIdcGeo1, m_bGeo1);
    DdxCheck(bSave, kIdcGeo2, m_bGeo2);
    DdxText(bSave, kIdcGeoCC1, m_strGeoCC1);
    DdxText(bSave, kIdcGeoCC2, m_strGeoCC2);
}

// ---- Main dialog

CLocanymDlg::CLocanymDlg(ISettingsActions& actions) : CDialog(kIddLocanym), m_actions(actions) {
    SetActions(&actions);
}

CLocanymDlg::~CLocanymDlg() = default;

bool CLocanymDlg::OnInitDialog() {
    Host().SetText(0, AppendVersionToCaption(Host().GetText(0)));
    ShowApiKeyButtonFor(m_iProv);
    m_linkCodes.m_link = kLanguageCodesUrl;
    SubclassLink(m_linkCodes, kIdcLangCodesLink);
    Host().ResetList(kIdcService);
    for (size_t i = 0; i < m_actions.GetServiceCount(); ++i)
        Host().AddListItem(kIdcService, m_actions.GetServiceName(i));
    CDialog::OnInitDialog();
    EnableControls();
    return true;
}

void CLocanymDlg::DoDataExchange(bool bSave) {
    DdxCheck(bSave, kIdcEnabled, m_bEnabled);
    DdxCheck(bSave, kIdcErrMsg, m_bErrMsg);
    DdxListIndex(bSave, kIdcService, m_iProv);
    DdxText(bSave, kIdcLang, m_strLang);
    DdxText(bSave, kIdcFormat, m_strFormat);
    DdxCheck(bSave, kIdcAutoState, m_bAState);
    DdxCheck(bSave, kIdcAutoCountry, m_bACountry);
    DdxText(bSave, kIdcSep, m_strSep);
}

void CLocanymDlg::OnCommand(int nId) {
    switch (nId) {
        case kIdcEnabled:
            EnableControls();
            break;
        case kIdcHelp:
            OnHelp();
            break;
        case kIdcService:
            OnSelChangeService();
            break;
        case kIdcApiKey:
            OnApiKey();
            break;
        case kIdcGeoNames:
            OnGeoNames();
            break;
        case kIdcClearCache:
            OnClearCache();
            break;
        default:
            CDialog::OnCommand(nId);
    }
}

void CLocanymDlg::EnableControls() {
    const bool bEnabled = Host().GetCheck(kIdcEnabled);
    for (int nId : kSwitchedControls) Host().Enable(nId, bEnabled);
}

void CLocanymDlg::ShowApiKeyButtonFor(int32_t nService) {
    const bool bSignUp =
        IsService(m_actions, nService) && !m_actions.GetSignUpUrl(nService).empty();
    Host().Show(kIdcApiKey, bSignUp);
}

void CLocanymDlg::OnSelChangeService() {
    const int nSel = Host().GetListSel(kIdcService);
    if (nSel < 0) return;
    m_iProv = nSel;
    ShowApiKeyButtonFor(nSel);
}

void CLocanymDlg::OnApiKey() {
    const int nSel = Host().GetListSel(kIdcService);
    if (nSel < 0) return;
    CAPiKeyDlg dlg(m_actions);
    dlg.m_nService = nSel;
    dlg.DoModal(*GetBackend(), m_hParent);
}

void CLocanymDlg::OnGeoNames() {
    CGeoNamesDlg dlg(m_actions);
    dlg.m_nGeoType = m_nGeoType;
    dlg.m_bGeo1 = m_bGeo1;
    dlg.m_bGeo2 = m_bGeo2;
    dlg.m_strGeoCC1 = m_strGeoCC1;
    dlg.m_strGeoCC2 = m_strGeoCC2;
    if (dlg.DoModal(*GetBackend(), m_hParent) != kIdOk) return;
    m_nGeoType = dlg.m_nGeoType;
    m_bGeo1 = dlg.m_bGeo1;
    m_bGeo2 = dlg.m_bGeo2;
    m_strGeoCC1 = dlg.m_strGeoCC1;
    m_strGeoCC2 = dlg.m_strGeoCC2;
}

void CLocanymDlg::OnClearCache() {
    m_actions.ClearCache();
    Host().MessageBox(LoadUiString(kIdsCacheCleared), L"Locanym");
}

void CLocanymDlg::OnHelp() {
    m_actions.OpenHelp(m_hParent);
}
