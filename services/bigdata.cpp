#include "services/bigdata.h"

#include "base/log.h"
#include "services/json_answer.h"

namespace {

// Every member the reading below names.
constexpr SJsonNames kAnswerNames{"status", "description",          "message",     "locality",
                                  "city",   "principalSubdivision", "countryName", "countryCode"};
using CAnswerView = CJsonView<kAnswerNames>;

}  // namespace

void CBigData::BuildQuery(const std::wstring& strLat, const std::wstring& strLon,
                          std::wstring& strPath, CParamList& params) {
    params.emplace_back(L"latitude", strLat);
    params.emplace_back(L"longitude", strLon);
    if (!m_settings.m_strLang.empty())
        params.emplace_back(L"localityLanguage", LowerCaseLanguage());
    strPath = L"/data/reverse-geocode";
}

int CBigData::ReadAnswer(const std::string& strAnswer, CLocationRecord& out) {
    Json::Value tree;
    // A root that is no object is no result: an empty record would be cached as one.
    if (!ParseJsonAnswer(strAnswer, kAnswerNames.Span(), tree) || !tree.isObject()) {
        WriteLog(kLogError, L"FindLocation, BigData: JSon Parse Error");
        return 0;
    }
    const CAnswerView root(tree);
    if (root.Has("status")) {
        // The service's error answers carry "description" and seldom "message".
        std::wstring strText = root.Text("description");
        if (strText.empty()) strText = root.Text("message");
        AppendServerError(strText);
        return 0;
    }
    out.m_strLocation = root.Text("locality");
    out.m_strCity = root.Text("city");
    out.m_strState = root.Text("principalSubdivision");
    out.m_strCountry = root.Text("countryName");
    out.m_strCountryCode = root.Text("countryCode");
    WriteLog(kLogInfo, L"FindLocation, BigData: <%s> <%s> <%s> <%s>", out.m_strLocation,
             out.m_strCity, out.m_strState, out.m_strCountry);
    return 1;
}
