#include "services/mapsco.h"

#include "services/json_answer.h"

namespace {

// Address members in the order they are tried.
constexpr SJsonNames kCityMembers{
    "city",     "town",    "village", "municipality", "city_district",
    "district", "borough", "suburb",  "subdivision",
};
constexpr SJsonNames kStateMembers{"state", "region", "state_district", "county"};
// Areas come as "residential"; the misspelt name is kept for answers that use it.
constexpr SJsonNames kPlaceMembers{
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
    "retail",
};
// Every member the reading below and the frame name.
constexpr SJsonNames kAnswerNames = JoinJsonNames(
    JoinJsonNames(kAddressFrameNames, SJsonNames{"message", "country", "country_code"}),
    JoinJsonNames(kCityMembers, JoinJsonNames(kStateMembers, kPlaceMembers)));
using CAnswerView = CJsonView<kAnswerNames>;

}  // namespace

void CMapsCo::BuildQuery(const std::wstring& strLat, const std::wstring& strLon,
                         std::wstring& strPath, CParamList& params) {
    params.emplace_back(L"lat", strLat);
    params.emplace_back(L"lon", strLon);
    params.emplace_back(L"format", L"json");
    strPath = L"/reverse";
}

CJsonNameSpan CMapsCo::AnswerNames() const {
    return kAnswerNames.Span();
}

std::wstring CMapsCo::ErrorText(const Json::Value& tree) const {
    const CAnswerView root(tree);
    const CAnswerView error = root.Member("error");
    // Nominatim's own form is {"error":"Unable to geocode"}.
    if (error.IsString()) return root.Text("error");
    return error.Text("message");
}

void CMapsCo::ReadAddress(const Json::Value& tree, CLocationRecord& out) const {
    const CAnswerView address(tree);
    out.m_strCity = address.FirstText<kCityMembers>();
    out.m_strState = address.FirstText<kStateMembers>();
    out.m_strLocation = address.FirstText<kPlaceMembers>();
    if (out.m_strLocation.empty()) out.m_strLocation = out.m_strCity;
    if (out.m_strCity.empty()) out.m_strCity = out.m_strLocation;
    out.m_strCountry = address.Text("country");
    out.m_strCountryCode = address.Text("country_code");
}
