#include "services/service_catalogue.h"

#include "base/text.h"
#include "services/bigdata.h"
#include "services/geoapify.h"
#include "services/geonames.h"
#include "services/location_iq.h"
#include "services/mapsco.h"
#include "services/offline.h"
#include "services/openweather.h"

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
