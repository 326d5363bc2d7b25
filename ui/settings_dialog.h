// The settings dialog as the core sees it: values go in, and come back when the user confirms.
#pragma once

#include <cstdint>
#include <string>

class CLocanymApp;

// The thirteen values the settings dialog edits (the separator in its decoded form).
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
};

// Runs the settings dialog modally over the host window hParent. True when the user confirmed
// with OK; values then hold the dialog's values. False leaves values as they came.
bool RunSettingsDialog(uintptr_t hParent, CLocanymApp& app, CLocanymDlgValues& values);
