#include "services/geonames.h"

#include "base/log.h"
#include "base/text.h"
#include "services/json_answer.h"

namespace {

constexpr int kCountryList1 = 0;  // "GeoCC1"
constexpr int kCountryList2 = 1;  // "GeoCC2"

// Every member the reading below names.
constexpr SJsonNames kAnswerNames{"status",      "message",     "geonames",   "name",
                                  "countryName", "countryCode", "adminName1", "adminName2",
                                  "adminName3",  "adminName4"};
using CAnswerView = CJsonView<kAnswerNames>;

// The first non-empty of two members.
std::wstring FirstText(const CAnswerView& place, CAnswerView::CName first,
                       CAnswerView::CName second) {
    std::wstring strText = place.Text(first);
    return strText.empty() ? place.Text(second) : strText;
}

}  // namespace

void CGeoNames::BuildQuery(const std::wstring& strLat, const std::wstring& strLon,
                           std::wstring& strPath, CParamList& params) {
    const bool bPopulatedPlace = m_settings.m_nGeoType == 0;
    params.emplace_back(L"lat", strLat);
    params.emplace_back(L"lng", strLon);
    if (!m_settings.m_strLang.empty()) params.emplace_back(L"lang", m_settings.m_strLang);
    params.emplace_back(L"style", L"full");
    if (!bPopulatedPlace) params.emplace_back(L"radius", L"10");
    params.emplace_back(L"maxRows", bPopulatedPlace ? L"3" : L"10");
    strPath = bPopulatedPlace ? L"/findNearbyPlaceNameJSON" : L"/findNearbyJSON";
}

int CGeoNames::ReadAnswer(const std::string& strAnswer, CLocationRecord& out) {
    Json::Value tree;
    if (!ParseJsonAnswer(strAnswer, kAnswerNames.Span(), tree)) {
        WriteLog(kLogError, L"FindLocation, GeoNames: JSon Parse Error");
        return 0;
    }
    const CAnswerView root(tree);
    if (root.Has("status")) {
        const std::wstring strMessage = root.Member("status").Text("message");
        AppendServerError(strMessage);
        WriteLog(kLogError, L"FindLocation, GeoNames: %s", strMessage);
        return 0;
    }
    if (!root.Has("geonames")) {
        WriteLog(kLogError, L"FindLocation, GeoNames: unknown answer from server");
        return 0;
    }
    const CAnswerView places = root.Member("geonames");
    if (!places.IsArray() || places.Size() < 1) {
        WriteLog(kLogError, L"FindLocation, GeoNames: JSon root size error");
        return 0;
    }

    std::wstring& strLoc = out.m_strLocation;
    std::wstring& strCi = out.m_strCity;
    std::wstring& strSt = out.m_strState;
    std::wstring& strCo = out.m_strCountry;
    std::wstring& strCc = out.m_strCountryCode;
    for (Json::ArrayIndex i = 0; i < places.Size(); ++i) {
        const CAnswerView place = places.Element(i);
        if (strLoc.empty()) strLoc = place.Text("name");
        if (strCo.empty()) strCo = place.Text("countryName");
        if (strCc.empty()) strCc = TrimWhiteSpace(place.Text("countryCode"));
        if (strSt.empty()) {
            strSt = m_settings.m_bGeo1 && m_settings.IsCountryInList(strCc, kCountryList1)
                        ? FirstText(place, "adminName2", "adminName1")
                        : FirstText(place, "adminName1", "adminName2");
        }
        if (strCi.empty()) {
            strCi = m_settings.m_bGeo2 && m_settings.IsCountryInList(strCc, kCountryList2)
                        ? FirstText(place, "adminName4", "adminName3")
                        : FirstText(place, "adminName3", "adminName4");
        }
        if (!strLoc.empty() && !strCi.empty() && !strSt.empty() && !strCo.empty()) break;
    }
    WriteLog(kLogInfo, L"FindLocation, GeoNames: <%s> <%s> <%s> <%s>", strLoc, strCi, strSt, strCo);
    return 1;
}
