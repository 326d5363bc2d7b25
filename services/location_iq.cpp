#include "services/location_iq.h"

#include "services/json_answer.h"

namespace {

// Every member the reading below and the frame name.
constexpr SJsonNames kAnswerNames = JoinJsonNames(
    kAddressFrameNames, SJsonNames{"name", "city", "road", "country", "country_code", "state"});
using CAnswerView = CJsonView<kAnswerNames>;

}  // namespace

void CLocationIQ::BuildQuery(const std::wstring& strLat, const std::wstring& strLon,
                             std::wstring& strPath, CParamList& params) {
    params.emplace_back(L"lat", strLat);
    params.emplace_back(L"lon", strLon);
    params.emplace_back(L"format", L"json");
    params.emplace_back(L"normalizeaddress", L"1");
    if (!m_settings.m_strLang.empty()) params.emplace_back(L"accept-language", LowerCaseLanguage());
    strPath = L"/v1/reverse";
}

CJsonNameSpan CLocationIQ::AnswerNames() const {
    return kAnswerNames.Span();
}

std::wstring CLocationIQ::ErrorText(const Json::Value& root) const {
    return JsonMemberToText(root, CAnswerView::CName("error").Text(), 0);
}

void CLocationIQ::ReadAddress(const Json::Value& tree, CLocationRecord& out) const {
    const CAnswerView address(tree);
    out.m_strLocation = address.Text("name");
    out.m_strCity = address.Text("city");
    if (out.m_strLocation.empty()) out.m_strLocation = address.Text("road");
    if (out.m_strLocation.empty()) out.m_strLocation = out.m_strCity;
    out.m_strCountry = address.Text("country");
    out.m_strCountryCode = address.Text("country_code");
    out.m_strState = address.Text("state");
}
