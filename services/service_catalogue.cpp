#include "services/service_catalogue.h"

#include "base/text.h"
#include "services/bigdata.h"
#include "services/geoapify.h"
#include "services/geonames.h"
#include "services/location_iq.h"
#include "services/mapsco.h"
#include "services/offline.h"
#include "services/openweather.h"

const SServiceFacts kServiceFacts[kServiceCount] = {
    {L"LocationIQ", L"key", L"pk.5e0c7a19b2d84f36a1c09e7d4b2f8a63", L"https://locationiq.com/",
     L"https://my.locationiq.com/dashboard", L"https://us1.locationiq.com"},
    {L"GeoApify", L"apiKey", L"9f8e7d6c5b4a39281706f5e4d3c2b1a0", L"https://www.geoapify.com/",
     L"https://myprojects.geoapify.com/", L"https://api.geoapify.com"},
    {L"GeoNames", L"username", L"samplepics", L"https://www.geonames.org/",
     L"https://www.geonames.org/login", L"http://api.geonames.org"},
    // BigDataCloud has no page of its own for signing up: its home page serves for both.
    {L"BigDataCloud", L"key", L"bdc_7c1e9a40d3b25f68e0a4c7d19b3f2e56",
     L"https://www.bigdatacloud.com/", L"https://www.bigdatacloud.com/", L"https://api-bdc.net"},
    {L"MapsCo", L"api_key", L"51e0c9d8b7a6f5e4d3c2b1zxwy9a8b7", L"https://geocode.maps.co/",
     L"https://geocode.maps.co/join/", L"https://geocode.maps.co"},
    {L"OpenWeather", L"appid", L"0a1b2c3d4e5f60718293a4b5c6d7e8f9", L"https://openweathermap.org/",
     L"https://openweathermap.org/api", L"https://api.openweathermap.org"},
    {L"Offline", L"", L"", L"", L"", L""},
};

CCataloguedService::CCataloguedService(const CPlugInSettings& settings,
                                       const std::atomic<int32_t>& stopFlag, EServiceIndex eIndex)
    : CLocanymObj(settings, stopFlag), m_facts(kServiceFacts[eIndex]) {}

std::wstring CCataloguedService::GetApiKey() const {
    return m_strApiKey.empty() ? std::wstring(m_facts.pszDefaultKey) : m_strApiKey;
}
bool CCataloguedService::UsesKey() const {
    return m_facts.pszKeyParam[0] != L'\0';
}
std::wstring CCataloguedService::GetHomePageUrl() const {
    return m_facts.pszHomePage;
}
std::wstring CCataloguedService::GetServiceName() const {
    return m_facts.pszName;
}
std::wstring CCataloguedService::GetSignUpUrl() const {
    return m_facts.pszSignUpPage;
}

void CCataloguedService::BuildRequestUrl(std::wstring& strUrl, const std::wstring& strBaseUrl,
                                         CParamList& params, int) {
    params.emplace_back(m_facts.pszKeyParam, GetApiKey());
    strUrl = JoinRequestUrl(strBaseUrl, params);
}

std::wstring CCataloguedService::LowerCaseLanguage() const {
    return ToLowerAscii(m_settings.m_strLang);
}

int CCataloguedService::FindLocation(const std::wstring& strLat, const std::wstring& strLon,
                                     CLocationRecord& out) {
    m_bTransportError = false;
    std::wstring strPath;
    CParamList params;
    BuildQuery(strLat, strLon, strPath, params);
    std::string strAnswer;
    // A negative result has been logged and has set m_strError.
    const int nResult = QueryServer(m_facts.pszServer + strPath, params, strAnswer);
    if (nResult < 0) {
        m_bTransportError = nResult == kQueryFailed || nResult == kQueryException;
        return 0;
    }
    CLocationRecord record = out;
    if (!ReadAnswer(strAnswer, record)) return 0;
    out = std::move(record);
    return 1;
}

CServiceTable CreateServices(const CPlugInSettings& settings, const std::atomic<int32_t>& stop) {
    CServiceTable table;
    table[kLocationIQ] = std::make_unique<CLocationIQ>(settings, stop);
    table[kGeoApify] = std::make_unique<CGeoApify>(settings, stop);
    table[kGeoNames] = std::make_unique<CGeoNames>(settings, stop);
    table[kBigDataCloud] = std::make_unique<CBigData>(settings, stop);
    table[kMapsCo] = std::make_unique<CMapsCo>(settings, stop);
    table[kOpenWeather] = std::make_unique<COWeatherObj>(settings, stop);
    table[kOffline] = std::make_unique<COffline>(settings, stop);
    return table;
}
