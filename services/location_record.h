// What a service found at a position: the parts a caption is made of. Any part may be empty.
#pragma once

#include <string>

struct CLocationRecord {
    std::wstring m_strLocation;     // %L: the place itself (district, village, landmark)
    std::wstring m_strCity;         // %C
    std::wstring m_strState;        // %S
    std::wstring m_strCountry;      // %Y
    std::wstring m_strCountryCode;  // %D: as the service gave it, usually ISO 3166 alpha-2
    std::wstring m_strFullAddress;  // %F: the service's one-line address, if it has one
};
