#include "services/mapsco.h"

#include "services/json_answer.h"

namespace {

// Address members in the order they are tried; each list ends with an empty name.
constexpr size_t kMaxMemberName = 20;
using CMemberName = char[kMaxMemberName];

const CMemberName kCityMembers[] = {
    "city",     "town",    "village", "municipality", "city_district",
    "district", "borough", "suburb",  "subdivision",  "",
};
const CMemberName kStateMembers[] = {"state", "region", "state_district", "county", ""};
// Areas come as "residential"; the misspelt name is kept for answers that use it.
const CMemberName kPlaceMembers[] = {
    "building",      "emergency",
    "historic",      "military",
    "natural",       "landuse",
    "place",         "railway",
    "man_made",      "aerialway",
    "boundary",      "amenity",
    "aeroway",       "club",
    "craft",         "leisure",
    "office",        "mountain_pass",
    "shop",          "tourism",
    "bridge",        "tunnel",
    "waterway",      "hamlet",
    "croft",         "isolated_dwelling",
    "neighbourhood", "allotments",
    "quarter",       "city_block",
    "residental",    "residential",
    "farm",          "farmyard",
    "industrial",    "commercial",
    "retail",        "",
};

std::wstring FirstNonEmpty(const Json::Value& address, const CMemberName* pNames) {
    for (; pNames[0][0] != '\0'; ++pNames) {
        std::wstring strText = JsonText(address, *pNames);
        if (!strText.empty()) return strText;
    }
    return std::wstring();
}

}  // namespace

void CMapsCo::BuildQuery(const std::wstring& strLat, const std::wstring& strLon,
                         std::wstring& strPath, CParamList& params) {
    params.emplace_back(L"lat", strLat);
    params.emplace_back(L"lon", strLon);
    params.emplace_back(L"format", L"json");
    strPath = L"/reverse";
}

std::wstring CMapsCo::ErrorText(const Json::Value& root) const {
    const Json::Value& error = JsonMember(root, "error");
    // Nominatim's own form is {"error":"Unable to geocode"}.
    if (error.isString()) return JsonText(root, "error");
    return JsonText(error, "message");
}

void CMapsCo::ReadAddress(const Json::Value& address, CLocationRecord& out) const {
    out.m_strCity = FirstNonEmpty(address, kCityMembers);
    out.m_strState = FirstNonEmpty(address, kStateMembers);
    out.m_strLocation = FirstNonEmpty(address, kPlaceMembers);
    if (out.m_strLocation.empty()) out.m_strLocation = out.m_strCity;
    if (out.m_strCity.empty()) out.m_strCity = out.m_strLocation;
    out.m_strCountry = JsonText(address, "country");
    out.m_strCountryCode = JsonText(address, "country_code");
}
