// The dialog resources and the string table of the settings user interface: one table that the
// toolkit backends lay their windows out from (and that a Windows resource script is generated
// from), so every build shows the same controls with the same words.
#pragma once

#include <cstdint>
#include <span>

// Dialog identifiers.
constexpr int kIddLocanym = 101;
constexpr int kIddApiKey = 103;
constexpr int kIddGeoNames = 1009;

// Controls every dialog has.
constexpr int kIdcStatic = -1;  // a label nobody addresses
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

// Main dialog (101).
constexpr int kIdcEnabled = 1001;
constexpr int kIdcHelp = 1002;
constexpr int kIdcApiKey = 1024;
constexpr int kIdcService = 1027;
constexpr int kIdcServiceLabel = 1031;
constexpr int kIdcLangLabel = 1032;
constexpr int kIdcLang = 1033;
constexpr int kIdcLangCodesLink = 1034;
constexpr int kIdcFormat = 1061;
constexpr int kIdcErrMsg = 1062;
constexpr int kIdcLegendLocation = 1066;
constexpr int kIdcLegendState = 1067;
constexpr int kIdcLegendCountry = 1068;
constexpr int kIdcLegendCountryCode = 1069;
constexpr int kIdcLegendCity = 1070;
constexpr int kIdcLegendFull = 1071;
constexpr int kIdcAutoState = 1072;
constexpr int kIdcAutoCountry = 1073;
constexpr int kIdcLegendAuto = 1075;
constexpr int kIdcGeoNames = 1076;
constexpr int kIdcClearCache = 1077;
constexpr int kIdcSep = 1079;
constexpr int kIdcSepLabel = 1080;

// API key dialog (103).
constexpr int kIdcRegisterLink = 1004;
constexpr int kIdcKey = 1005;

// GeoNames dialog (1009).
constexpr int kIdcGeoCC1 = 1061;
constexpr int kIdcGeoCC2 = 1062;
constexpr int kIdcGeoType = 1063;
constexpr int kIdcGeoTypeLabel = 1064;
constexpr int kIdcGeo1 = 1073;
constexpr int kIdcGeo2 = 1074;
constexpr int kIdcCountryCodesLink = 1078;

// String table.
constexpr int kIdsCacheCleared = 1009;  // "The cache file has been cleared"

enum class EControlKind {
    kStatic,         // text label
    kGroupBox,       // frame with a title around other controls
    kCheckBox,       // two-state box with its label
    kEdit,           // one-line text field
    kDropDownList,   // pick-one list, not sorted: list position = index
    kPushButton,     // button
    kDefPushButton,  // the button that Enter presses
};

// Style flags of a control.
constexpr uint32_t kCtlCentre = 1;   // text centred in its box
constexpr uint32_t kCtlHScroll = 2;  // edit scrolls sideways past its width
constexpr uint32_t kCtlLink = 4;     // static that a CStaticLink is attached to

// One control. Positions and sizes are dialog units: a quarter of the dialog font's average
// character width across, an eighth of its height down.
struct CControlResource {
    int nId;
    EControlKind kind;
    const wchar_t* pszText;
    int x, y, cx, cy;
    uint32_t nFlags = 0;
};

// An entry that a list control gets when its dialog is created, in list order.
struct CListItemResource {
    int nControlId;
    const wchar_t* pszText;
};

struct CDialogResource {
    int nId;
    const wchar_t* pszCaption;
    const wchar_t* pszFontName;
    int nFontPoints;
    int cx, cy;                                  // client size in dialog units
    std::span<const CControlResource> controls;  // in tab order
    std::span<const CListItemResource> listItems;
};

// The resource of a dialog identifier; null for an unknown one. Static data, never freed.
const CDialogResource* FindDialogResource(int nId);

// The control nId of a dialog resource; null when the dialog has none (or nId is kIdcStatic).
const CControlResource* FindControl(const CDialogResource& dialog, int nId);

// Every dialog resource, for generators and checks.
std::span<const CDialogResource> GetDialogResources();

struct CStringResource {
    int nId;
    const wchar_t* pszText;
};

// The text of a string-table identifier; an empty text for an unknown one. Static data.
const wchar_t* LoadUiString(int nId);

// The whole string table, for generators and checks.
std::span<const CStringResource> GetStringTable();
