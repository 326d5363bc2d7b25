#include "services/geoapify.h"

#include "base/log.h"
#include "services/json_answer.h"

namespace {

constexpr int kMaxResults = 5;

// Every member the reading below names.
constexpr SJsonNames kAnswerNames{"statusCode", "error", "message", "results",      "formatted",
                                  "country",    "city",  "name",    "country_code", "state"};
using CAnswerView = CJsonView<kAnswerNames>;

void FillIfEmpty(std::wstring& strPart, const CAnswerView& result, CAnswerView::CName member) {
    if (strPart.empty()) strPart = result.Text(member);
}

}  // namespace

void CGeoApify::BuildQuery(const std::wstring& strLat, const std::wstring& strLon,
                           std::wstring& strPath, CParamList& params) {
    params.emplace_back(L"lat", strLat);
    params.emplace_back(L"lon", strLon);
    params.emplace_back(L"format", L"json");
    params.emplace_back(L"limit", std::to_wstring(kMaxResults));
    if (!m_settings.m_strLang.empty()) params.emplace_back(L"lang", LowerCaseLanguage());
    strPath = L"/v1/geocode/reverse";
}

int CGeoApify::ReadAnswer(const std::string& strAnswer, CLocationRecord& out) {
    Json::Value tree;
    if (!ParseJsonAnswer(strAnswer, kAnswerNames.Span(), tree)) {
        WriteLog(kLogError, L"FindLocation, CGeoApify: JSon Parse Error");
        return 0;
    }
    const CAnswerView root(tree);
    if (root.Has("statusCode")) {
        std::wstring strText;
        if (root.Has("error")) strText += root.Text("error");
        if (root.Has("message")) strText += L"\r\n" + root.Text("message");
        AppendServerError(strText);
        WriteLog(kLogError, L"FindLocation, CGeoApify: %s", strText);
        return 0;
    }
    if (!root.Has("results")) {
        WriteLog(kLogError, L"FindLocation, CGeoApify: unknown answer from server");
        return 0;
    }
    const CAnswerView results = root.Member("results");
    if (!results.IsArray() || results.Size() < 1) {
        WriteLog(kLogError, L"FindLocation, CGeoApify: JSon root size error");
        return 0;
    }
    for (Json::ArrayIndex i = 0; i < results.Size(); ++i) {
        const CAnswerView result = results.Element(i);
        FillIfEmpty(out.m_strFullAddress, result, "formatted");
        FillIfEmpty(out.m_strCountry, result, "country");
        FillIfEmpty(out.m_strCity, result, "city");
        FillIfEmpty(out.m_strLocation, result, "name");
        FillIfEmpty(out.m_strCountryCode, result, "country_code");
        FillIfEmpty(out.m_strState, result, "state");
        if (!out.m_strLocation.empty() && !out.m_strCity.empty() && !out.m_strState.empty() &&
            !out.m_strCountry.empty())
            break;
    }
    WriteLog(kLogInfo, L"FindLocation, GeoApify: <%s> <%s> <%s> <%s>", out.m_strLocation,
             out.m_strCity, out.m_strState, out.m_strCountry);
    if (out.m_strLocation.empty()) out.m_strLocation = out.m_strCity;
    return 1;
}
