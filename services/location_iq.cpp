#include "services/location_iq.h"

#include "services/json_answer.h"

void CLocationIQ::BuildQuery(const std::wstring& strLat, const std::wstring& strLon,
                             std::wstring& strPath, CParamList& params) {
    params.emplace_back(L"lat", strLat);
    params.emplace_back(L"lon", strLon);
    params.emplace_back(L"format", L"json");
    params.emplace_back(L"normalizeaddress", L"1");
    if (!m_settings.m_strLang.empty()) params.emplace_back(L"accept-language", LowerCaseLanguage());
    strPath = L"/v1/reverse";
}

std::wstring CLocationIQ::ErrorText(const Json::Value& root) const {
    return JsonMemberToText(root, "error", 0);
}

void CLocationIQ::ReadAddress(const Json::Value& address, CLocationRecord& out) const {
    out.m_strLocation = JsonText(address, "name");
    out.m_strCity = JsonText(address, "city");
    if (out.m_strLocation.empty()) out.m_strLocation = JsonText(address, "road");
    if (out.m_strLocation.empty()) out.m_strLocation = out.m_strCity;
    out.m_strCountry = JsonText(address, "country");
    out.m_strCountryCode = JsonText(address, "country_code");
    out.m_strState = JsonText(address, "state");
}
