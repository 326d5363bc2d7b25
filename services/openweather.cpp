#include "services/openweather.h"

#include "base/log.h"
#include "services/json_answer.h"

namespace {

constexpr wchar_t kAddressSeparator[] = L", ";

// Every member the reading below names.
constexpr SJsonNames kAnswerNames{"cod", "message", "name", "country", "state"};
using CAnswerView = CJsonView<kAnswerNames>;

void AppendPart(std::wstring& strAddress, const std::wstring& strPart) {
    if (!strAddress.empty() && !strPart.empty()) strAddress += kAddressSeparator;
    strAddress += strPart;
}

}  // namespace

void COWeatherObj::BuildQuery(const std::wstring& strLat, const std::wstring& strLon,
                              std::wstring& strPath, CParamList& params) {
    params.emplace_back(L"lat", strLat);
    params.emplace_back(L"lon", strLon);
    params.emplace_back(L"limit", L"1");
    strPath = L"/geo/1.0/reverse";
}

int COWeatherObj::ReadAnswer(const std::string& strAnswer, CLocationRecord& out) {
    Json::Value tree;
    if (!ParseJsonAnswer(strAnswer, kAnswerNames.Span(), tree)) {
        WriteLog(kLogError, L"FindLocation, OpenWeather: JSon Parse Error");
        return 0;
    }
    const CAnswerView root(tree);
    if (!root.IsArray()) {
        // Results come as an array, errors as an object.
        if (root.Has("cod")) {
            const std::wstring strMessage = root.Text("message");
            AppendServerError(strMessage);
            WriteLog(kLogError, L"FindLocation, OpenWeather: %s", strMessage);
        } else {
            WriteLog(kLogError, L"FindLocation, OpenWeather: unknown answer from server");
        }
        return 0;
    }
    if (root.Size() < 1) {
        WriteLog(kLogError, L"FindLocation, OpenWeather: JSon root size error");
        return 0;
    }
    const CAnswerView place = root.Element(0);
    if (!place.Has("name")) {
        WriteLog(kLogError, L"FindPosition, OpenWeather: missing gps coordinates");
        return 0;
    }
    out.m_strLocation = place.Text("name");
    out.m_strCountry = place.Text("country");
    out.m_strState = place.Text("state");
    out.m_strCity = out.m_strLocation;
    out.m_strCountryCode = out.m_strCountry;
    out.m_strFullAddress = out.m_strLocation;
    AppendPart(out.m_strFullAddress, out.m_strState);
    AppendPart(out.m_strFullAddress, out.m_strCountry);
    WriteLog(kLogInfo, L"FindLocation, OpenWeather: <%s> <%s> <%s> <%s>", out.m_strLocation,
             out.m_strCity, out.m_strState, out.m_strCountry);
    if (out.m_strLocation.empty() || out.m_strCountry.empty() || out.m_strState.empty())
        WriteLog(kLogInfo, L"OpenWeather missing field: %s", m_strLogUrl);
    return 1;
}
