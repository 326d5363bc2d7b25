#include "ui/resources.h"

namespace {

using K = EControlKind;

// Buttons of the main dialog stand in a column on the right; the settings fill the left.
const CControlResource g_locanymControls[] = {
    {kIdcStatic, K::kStatic,
     L"This plugin converts gps location (latitude, longitude) embedded in photos (exif tags) to "
     L"a human-readable address or place name. See help for more info.",
     7, 7, 278, 26},
    {kIdcEnabled, K::kCheckBox, L"PlugIn Enabled", 7, 38, 100, 10},
    {kIdcErrMsg, K::kCheckBox, L"Display Error Messages", 120, 38, 120, 10},
    {kIdcServiceLabel, K::kStatic, L"Service:", 7, 57, 40, 9},
    {kIdcService, K::kDropDownList, L"", 50, 55, 110, 14},
    {kIdcStatic, K::kGroupBox, L"Parameters", 7, 76, 278, 58},
    {kIdcLangLabel, K::kStatic,
     L"Two letters language code for localized names (for example: fr for French):", 14, 88, 264,
     18},
    {kIdcLang, K::kEdit, L"", 14, 111, 50, 14, kCtlHScroll},
    {kIdcLangCodesLink, K::kStatic, L"Click to see full list of codes", 72, 113, 150, 9, kCtlLink},
    {kIdcStatic, K::kGroupBox, L"Format - Text displayed over images", 7, 140, 278, 92},
    {kIdcFormat, K::kEdit, L"", 14, 154, 264, 14, kCtlHScroll},
    {kIdcLegendAuto, K::kStatic, L"%A : Auto", 14, 176, 42, 9},
    {kIdcAutoState, K::kCheckBox, L"State/Region", 58, 175, 62, 10},
    {kIdcAutoCountry, K::kCheckBox, L"Country", 122, 175, 46, 10},
    {kIdcSepLabel, K::kStatic, L"Separator:", 172, 176, 44, 9},
    {kIdcSep, K::kEdit, L"", 218, 173, 60, 14, kCtlHScroll},
    {kIdcLegendLocation, K::kStatic, L"%L : Location", 14, 196, 84, 9},
    {kIdcLegendCity, K::kStatic, L"%C : City", 102, 196, 84, 9},
    {kIdcLegendState, K::kStatic, L"%S : State/Region", 190, 196, 88, 9},
    {kIdcLegendCountry, K::kStatic, L"%Y : Country", 14, 212, 84, 9},
    {kIdcLegendCountryCode, K::kStatic, L"%D : Country Code", 102, 212, 84, 9},
    {kIdcLegendFull, K::kStatic, L"%F : Full, Display Name", 190, 212, 88, 9},
    {kIdOk, K::kDefPushButton, L"OK", 290, 7, 60, 15},
    {kIdCancel, K::kPushButton, L"Cancel", 290, 26, 60, 15},
    {kIdcGeoNames, K::kPushButton, L"GeoNames...", 290, 52, 60, 15},
    {kIdcApiKey, K::kPushButton, L"Api Key...", 290, 71, 60, 15},
    {kIdcClearCache, K::kPushButton, L"Clear Cache", 290, 90, 60, 15},
    {kIdcHelp, K::kPushButton, L"Help", 290, 220, 60, 15},
};

const CControlResource g_apiKeyControls[] = {
    {kIdcStatic, K::kStatic,
     L"Slidora can use its own Api Key but free service have usage limits, for better "
     L"reliability and performance  of the free services you may register to the service and "
     L"use your API Key.\n\nFor GeoNames  enter your userrname",
     7, 7, 333, 44},
    {kIdcRegisterLink, K::kStatic, L"Register here: ", 7, 56, 333, 9, kCtlLink},
    {kIdcStatic, K::kStatic, L"API Key or username:", 7, 76, 120, 9},
    {kIdcKey, K::kEdit, L"", 7, 88, 333, 14, kCtlHScroll},
    {kIdOk, K::kDefPushButton, L"OK", 115, 118, 55, 15},
    {kIdCancel, K::kPushButton, L"Cancel", 177, 118, 55, 15},
};

const CControlResource g_geoNamesControls[] = {
    {kIdcGeoTypeLabel, K::kStatic, L"Type of search:", 7, 10, 62, 9},
    {kIdcGeoType, K::kDropDownList, L"", 72, 7, 130, 14},
    {kIdcStatic, K::kStatic, L"adminName(1..4) are administrative division of a country.", 7, 30,
     373, 9},
    {kIdcStatic, K::kStatic, L"Usually adminName1 is a state or a region, adminName2 is a province",
     7, 41, 373, 9},
    {kIdcStatic, K::kStatic,
     L"adminName3 and adminName4 are smaller divisions like a city, a village or a district", 7, 52,
     373, 9},
    {kIdcStatic, K::kStatic,
     L"The plugin uses adminName1 as state and adminName3 as city but you can override this for "
     L"specific countries ",
     7, 63, 373, 18},
    {kIdcStatic, K::kStatic,
     L"Country codes fields may contain more codes, comma separated. Empty means all countries", 7,
     84, 373, 9},
    {kIdcCountryCodesLink, K::kStatic, L"Country codes, comma separated", 262, 102, 118, 9,
     kCtlCentre | kCtlLink},
    {kIdcGeo1, K::kCheckBox, L"Prefer adminName2 over adminName1 as state for these country codes:",
     7, 117, 250, 10},
    {kIdcGeoCC1, K::kEdit, L"", 262, 115, 118, 14, kCtlHScroll},
    {kIdcGeo2, K::kCheckBox, L"Prefer adminName4 over adminName3 as city for these country codes:",
     7, 137, 250, 10},
    {kIdcGeoCC2, K::kEdit, L"", 262, 135, 118, 14, kCtlHScroll},
    {kIdOk, K::kDefPushButton, L"OK", 263, 167, 55, 15},
    {kIdCancel, K::kPushButton, L"Cancel", 325, 167, 55, 15},
};

const CListItemResource g_geoNamesLists[] = {
    {kIdcGeoType, L"Nearby populated place"},
    {kIdcGeoType, L"Nearby toponym"},
};

const CDialogResource g_dialogs[] = {
    {kIddLocanym, L"Locanym", L"MS Sans Serif", 8, 355, 242, g_locanymControls, {}},
    {kIddApiKey, L"Api Key", L"MS Shell Dlg", 8, 347, 142, g_apiKeyControls, {}},
    {kIddGeoNames, L"Geonames settings", L"MS Shell Dlg", 8, 387, 189, g_geoNamesControls,
     g_geoNamesLists},
};

// The transport's error texts (1002 to 1007) are the ones the query reports; they are listed
// here too so that the generated resource script carries the complete table.
const CStringResource g_strings[] = {
    {1002, L"Locnm: Wrong URL format"},
    {1003, L"Locnm: OpenRequest failed"},
    {1004, L"Locnm: SendRequest failed"},
    {1005, L"Locnm: HTTP Error %d"},
    {1006, L"Locnm: Error %d, %s"},
    {1007, L"Locnm: Unknown Exception"},
    {kIdsCacheCleared, L"The cache file has been cleared"},
};

}  // namespace

const CDialogResource* FindDialogResource(int nId) {
    for (const CDialogResource& dialog : g_dialogs)
        if (dialog.nId == nId) return &dialog;
    return nullptr;
}

const CControlResource* FindControl(const CDialogResource& dialog, int nId) {
    if (nId == kIdcStatic) return nullptr;
    for (const CControlResource& control : dialog.controls)
        if (control.nId == nId) return &control;
    return nullptr;
}

std::span<const CDialogResource> GetDialogResources() {
    return g_dialogs;
}

const wchar_t* LoadUiString(int nId) {
    for (const CStringResource& entry : g_strings)
        if (entry.nId == nId) return entry.pszText;
    return L"";
}

std::span<const CStringResource> GetStringTable() {
    return g_strings;
}
