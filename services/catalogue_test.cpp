#include <gtest/gtest.h>

#include "base/text.h"
#include "http/query.h"
#include "services/service_catalogue.h"
#include "tests/support/loopback_server.h"

namespace {

// Where each key parameter goes is pinned by the request tests of the services.
TEST(ServiceCatalogue, SixServicesInTableOrderWithTheirPages) {
    CPlugInSettings settings;
    std::atomic<int32_t> stop{0};
    CServiceTable table = CreateServices(settings, stop);
    const wchar_t* const names[] = {L"LocationIQ",   L"GeoApify", L"GeoNames",
                                    L"BigDataCloud", L"MapsCo",   L"OpenWeather"};
    for (int i = 0; i < kOffline; ++i) {
        CLocanymObj& service = *table[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(names[i], service.GetServiceName());
        EXPECT_FALSE(service.GetApiKey().empty());
        EXPECT_EQ(0u, service.GetHomePageUrl().rfind(L"https://", 0));
        EXPECT_EQ(0u, service.GetSignUpUrl().rfind(L"https://", 0));
        service.m_strApiKey = L"mine";
        EXPECT_EQ(L"mine", service.GetApiKey());
    }
}

// A service as the next ones will be written: only its request and its answer mapping. Its
// mapping writes a part before it decides, as a real mapping may.
class CMappingOnlyService : public CCataloguedService {
  public:
    CMappingOnlyService(const CPlugInSettings& settings, const std::atomic<int32_t>& stop)
        : CCataloguedService(settings, stop, kMapsCo) {}
    int ReadAnswer(const std::string& strAnswer, CLocationRecord& out) override {
        out.m_strCity = L"half-written";
        if (strAnswer.find("\"ok\"") == std::string::npos) return 0;
        out.m_strLocation = L"Place";
        return 1;
    }

  protected:
    void BuildQuery(const std::wstring& strLat, const std::wstring&, std::wstring& strPath,
                    CParamList& params) override {
        strPath = L"/reverse";
        params.emplace_back(L"lat", strLat);
    }
};

TEST(ServiceCatalogue, ALookupHandsOutTheRecordOnlyWhenTheAnswerWasUnderstood) {
    CLoopbackServer server;
    ASSERT_TRUE(server.Start());
    SHttpConfig config;
    config.strServiceUrl = Utf8ToWide(server.BaseUrl());
    SetHttpConfig(config);
    CPlugInSettings settings;
    std::atomic<int32_t> stop{0};
    CMappingOnlyService service(settings, stop);
    struct {
        const char* pszBody;
        int nStatus;
        int nResult;
        const wchar_t* pszCity;
    } cases[] = {
        {R"({"ok": 1})", 200, 1, L"half-written"},
        {R"({"other": 1})", 200, 0, L"as it came"},
        {"", 503, 0, L"as it came"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszBody);
        server.SetAnswer("/reverse", JsonAnswer(c.pszBody, c.nStatus));
        CLocationRecord record;
        record.m_strCity = L"as it came";
        EXPECT_EQ(c.nResult, service.FindLocation(L"1.5", L"2.5", record));
        EXPECT_EQ(record.m_strCity, c.pszCity);
        EXPECT_EQ(record.m_strLocation, c.nResult ? L"Place" : L"");
        EXPECT_NE(service.m_strUrl.find(L"/reverse?lat=1.5&api_key="), std::wstring::npos);
    }
    SetHttpConfig(SHttpConfig{});
}

}  // namespace
