// The plug-in's user settings, as held in memory. The application reads and writes them in the
// host's storage (section "LocanymPlugIn", core/settings.h); services read them here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

constexpr int32_t kServiceCount = 7;

class CPlugInSettings {
  public:
    // True when the country code is empty, or equals (ASCII letters without regard to case)
    // one of the comma-separated, white-space-trimmed entries of "GeoCC1" (selector 0) or
    // "GeoCC2" (any other selector). An empty list matches no code.
    bool IsCountryInList(std::wstring_view strCountryCode, int nSelector) const;

    // Values before the first load; the load itself asks the host with other defaults.
    int32_t m_bEnabled = 0;    // "Enabled"
    int32_t m_iProv = 0;       // "iProv": index of the service, 0 to 6
    int32_t m_bErrMsg = 1;     // "ErrMsg"
    std::wstring m_strLang;    // "Lang"
    int32_t m_nGeoType = 0;    // "GeoType"
    int32_t m_bGeo1 = 0;       // "Geo1"
    int32_t m_bGeo2 = 0;       // "Geo2"
    std::wstring m_strGeoCC1;  // "GeoCC1"
    std::wstring m_strGeoCC2;  // "GeoCC2"
    std::wstring m_strFormat;  // "Format": caption template
    int32_t m_bAState = 0;     // "AState"
    int32_t m_bACountry = 0;   // "ACountry"
    std::wstring m_strSep;     // "Sep", decoded
    // "Offline": 1 lets the offline place finder caption a photo whose web service could not
    // be reached; such a caption is not cached.
    int32_t m_bOffline = 0;
};
