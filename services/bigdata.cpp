#include "services/bigdata.h"

#include "base/log.h"
#include "services/json_answer.h"

void CBigData::BuildQuery(const std::wstring& strLat, const std::wstring& strLon,
                          std::wstring& strPath, CParamList& params) {
    params.emplace_back(L"latitude", strLat);
    params.emplace_back(L"longitude", strLon);
    if (!m_settings.m_strLang.empty())
        params.emplace_back(L"localityLanguage", LowerCaseLanguage());
    strPath = L"/data/reverse-geocode";
}

int CBigData::ReadAnswer(const std::string& strAnswer, CLocationRecord& out) {
    Json::Value root;
    // A root that is no object is no result: an empty record would be cached as one.
    if (!ParseJsonAnswer(strAnswer, root) || !root.isObject()) {
        WriteLog(kLogError, L"FindLocation, BigData: JSon Parse Error");
        return 0;
    }
    if (JsonHasMember(root, "status")) {
        // The service's error answers carry "description" and seldom "message".
        std::wstring strText = JsonText(root, "description");
        if (strText.empty()) strText = JsonText(root, "message");
        AppendServerError(strText);
        return 0;
    }
    out.m_strLocation = JsonText(root, "locality");
    out.m_strCity = JsonText(root, "city");
    out.m_strState = JsonText(root, "principalSubdivision");
    out.m_strCountry = JsonText(root, "countryName");
    out.m_strCountryCode = JsonText(root, "countryCode");
    WriteLog(kLogInfo, L"FindLocation, BigData: <%s> <%s> <%s> <%s>", out.m_strLocation,
             out.m_strCity, out.m_strState, out.m_strCountry);
    return 1;
}
