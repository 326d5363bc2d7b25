#include "services/openweather.h"

#include "base/log.h"
#include "services/json_answer.h"

namespace {

constexpr wchar_t kAddressSeparator[] = L", ";

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
    Json::Value root;
    if (!ParseJsonAnswer(strAnswer, root)) {
        WriteLog(kLogError, L"FindLocation, OpenWeather: JSon Parse Error");
        return 0;
    }
    if (!root.isArray()) {
        // Results come as an array, errors as an object.
        if (JsonHasMember(root, "cod")) {
            const std::wstring strMessage = JsonText(root, "message");
            AppendServerError(strMessage);
            WriteLog(kLogError, L"FindLocation, OpenWeather: %s", strMessage);
        } else {
            WriteLog(kLogError, L"FindLocation, OpenWeather: unknown answer from server");
        }
        return 0;
    }
    if (root.size() < 1) {
        WriteLog(kLogError, L"FindLocation, OpenWeather: JSon root size error");
        return 0;
    }
    const Json::Value& place = root[0u];
    if (!JsonHasMember(place, "name")) {
        WriteLog(kLogError, L"FindPosition, OpenWeather: missing gps coordinates");
        return 0;
    }
    out.m_strLocation = JsonText(place, "name");
    out.m_strCountry = JsonText(place, "country");
    out.m_strState = JsonText(place, "state");
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
