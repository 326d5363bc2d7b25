// The services: what is fixed about each (names, keys, pages, server), the base that
// serves those facts, and the table in the order of the "iProv" setting.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "services/locanym_obj.h"
#include "services/plugin_settings.h"

struct SServiceFacts {
    const wchar_t* pszName;        // display name, also in the setting "AK-<name>"
    const wchar_t* pszKeyParam;    // query parameter that carries the key; empty: no key
    const wchar_t* pszDefaultKey;  // built-in key, used while the user's key is empty
    const wchar_t* pszHomePage;
    const wchar_t* pszSignUpPage;  // where a user registers and gets a key
    const wchar_t* pszServer;      // scheme and host of the API; each service adds its path
};

enum EServiceIndex {
    kLocationIQ = 0,
    kGeoApify = 1,
    kGeoNames = 2,
    kBigDataCloud = 3,
    kMapsCo = 4,
    kOpenWeather = 5,
    kOffline = 6,  // the offline place finder: no key, no server
};

extern const SServiceFacts kServiceFacts[kServiceCount];

// A service whose name, key, pages and URL building come from its catalogue entry. A lookup
// asks the service for its request (BuildQuery), queries the server, reads the answer into a
// record of its own (ReadAnswer) and hands that record out only when the reading succeeded, so
// that a service writes only its request and its answer mapping.
class CCataloguedService : public CLocanymObj {
  public:
    CCataloguedService(const CPlugInSettings& settings, const std::atomic<int32_t>& stopFlag,
                       EServiceIndex eIndex);

    std::wstring GetApiKey() const override;
    std::wstring GetHomePageUrl() const override;
    std::wstring GetServiceName() const override;
    std::wstring GetSignUpUrl() const override;
    void BuildRequestUrl(std::wstring& strUrl, const std::wstring& strBaseUrl, CParamList& params,
                         int nUnused) override;
    bool UsesKey() const override;
    int FindLocation(const std::wstring& strLat, const std::wstring& strLon,
                     CLocationRecord& out) override;

  protected:
    // The request for a position: the path after the catalogue's server and the parameters
    // in the order the service wants them (the key is added later, by BuildRequestUrl).
    virtual void BuildQuery(const std::wstring& strLat, const std::wstring& strLon,
                            std::wstring& strPath, CParamList& params) = 0;
    // The "Lang" setting in lower case, for the services that want it so.
    std::wstring LowerCaseLanguage() const;

    const SServiceFacts& m_facts;
};

using CServiceTable = std::array<std::unique_ptr<CLocanymObj>, kServiceCount>;

// Creates the services in table order: 0 LocationIQ, 1 GeoApify, 2 GeoNames,
// 3 BigDataCloud, 4 MapsCo, 5 OpenWeather, 6 Offline. The objects keep references to both
// arguments.
CServiceTable CreateServices(const CPlugInSettings& settings, const std::atomic<int32_t>& stopFlag);
