#include "ui/settings_ui.h"

#include "ui/locanym_dlg.h"

CSettingsUI::CSettingsUI(std::unique_ptr<IDialogBackend> pBackend)
    : m_pBackend(std::move(pBackend)) {}

CSettingsUI::~CSettingsUI() = default;

bool CSettingsUI::RunSettingsDialog(uintptr_t hParent, CLocanymDlgValues& values,
                                    ISettingsActions& actions) {
    if (!m_pBackend) return false;
    CLocanymDlg dlg(actions);
    dlg.m_bEnabled = values.m_bEnabled;
    dlg.m_iProv = values.m_iProv;
    dlg.m_bErrMsg = values.m_bErrMsg;
    dlg.m_strLang = values.m_strLang;
    dlg.m_strFormat = values.m_strFormat;
    dlg.m_nGeoType = values.m_nGeoType;
    dlg.m_bGeo1 = values.m_bGeo1;
    dlg.m_bGeo2 = values.m_bGeo2;
    dlg.m_strGeoCC1 = values.m_strGeoCC1;
    dlg.m_strGeoCC2 = values.m_strGeoCC2;
    dlg.m_bAState = values.m_bAState;
    dlg.m_bACountry = values.m_bACountry;
    dlg.m_strSep = values.m_strSep;
    if (dlg.DoModal(*m_pBackend, hParent) != kIdOk) return false;
    values.m_bEnabled = dlg.m_bEnabled;
    values.m_iProv = dlg.m_iProv;
    values.m_bErrMsg = dlg.m_bErrMsg;
    values.m_strLang = dlg.m_strLang;
    values.m_strFormat = dlg.m_strFormat;
    values.m_nGeoType = dlg.m_nGeoType;
    values.m_bGeo1 = dlg.m_bGeo1;
    values.m_bGeo2 = dlg.m_bGeo2;
    values.m_strGeoCC1 = dlg.m_strGeoCC1;
    values.m_strGeoCC2 = dlg.m_strGeoCC2;
    values.m_bAState = dlg.m_bAState;
    values.m_bACountry = dlg.m_bACountry;
    values.m_strSep = dlg.m_strSep;
    return true;
}
