// Each of the six services through the real module (message 19), its endpoint moved to a
// loopback server with LOCANYM_SERVICE_URL: a recorded answer becomes the caption, an error
// answer the error text. GeoNames has its own end-to-end test (services_e2e_test).
#include <gtest/gtest.h>
#include <stdlib.h>

#include "tests/support/loopback_server.h"
#include "tests/support/photo_writer.h"
#include "tests/support/plugin_host.h"

namespace {

STestSetting Setting(int32_t nValue, const wchar_t* pszText = nullptr) {
    STestSetting s;
    s.nValue = nValue;
    s.bText = pszText != nullptr;
    if (pszText) s.strValue = pszText;
    return s;
}

TEST(EachServiceEndToEnd, RecordedAnswerGivesTheCaptionAndAnErrorAnswerItsText) {
    struct SCase {
        int nProv;
        const char *pszFolder, *pszPath, *pszKeyParam, *pszResult, *pszError;
        std::wstring strCaption, strError;
    } cases[] = {
        {0, "locationiq", "/v1/reverse", "key", "result_city_us", "error_invalid_key",
         L"Bedford Avenue, New York, New York, United States of America | us | 279, Bedford "
         L"Avenue, Williamsburg, New York, Kings County, New York, 11211, USA",
         L"Locnm: HTTP Error 401\r\nInvalid key"},
        {1, "geoapify", "/v1/geocode/reverse", "apiKey", "result_city_berlin_json",
         "error_invalid_key",
         L"RathausPassagen, Berlin, Germany | de | RathausPassagen, Rathausstra\u00dfe 1-14, "
         L"10178 Berlin, Germany",
         L"Locnm: HTTP Error 401\r\nUnauthorized\r\nInvalid apiKey"},
        {3, "bigdatacloud", "/data/reverse-geocode", "key", "result_city_tokyo_en",
         "error_access_denied_or_quota",
         L"Nakano, Tokyo, Tokyo, Japan | JP | Nakano, Tokyo, Tokyo, Japan",
         L"Locnm: HTTP Error 403\r\naccess denied or your quota limit has been exceeded"},
        {4, "mapsco", "/reverse", "api_key", "result_city_docs_example", "error_rate_limit",
         L"Manhattan, New York, United States | us | Manhattan, New York, United States",
         L"Locnm: HTTP Error 429"},
        {5, "openweather", "/geo/1.0/reverse", "appid", "result_us_with_state", "error_invalid_key",
         L"London, OH, US | US | London, OH, US",
         L"Locnm: HTTP Error 401\r\nInvalid API key. Please see "
         L"https://openweathermap.org/faq#error401 for more info."},
    };
    CTempDir dir;
    const std::filesystem::path photo = dir.Path() / "place.jpg";
    ASSERT_TRUE(WriteGpsJpeg(photo, 40.7, -73.96));
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszFolder);
        CLoopbackServer server;
        ASSERT_TRUE(server.Start());
        setenv("LOCANYM_SERVICE_URL", server.BaseUrl().c_str(), 1);
        CTestHost host;
        host.m_settings[L"iProv"] = Setting(c.nProv);
        host.m_settings[L"GeoType"] = Setting(0);
        host.m_settings[L"Format"] = Setting(0, L"%A | %D | %F");
        host.Start();

        server.SetAnswer(c.pszPath, ServiceFixture(c.pszFolder, c.pszResult));
        std::wstring strCaption;
        EXPECT_TRUE(host.Caption(photo.wstring(), strCaption));
        EXPECT_EQ(c.strCaption, strCaption);
        const auto requests = server.Requests();
        ASSERT_EQ(1u, requests.size());
        EXPECT_EQ(c.pszPath, requests[0].strPath);
        EXPECT_EQ(c.pszKeyParam, requests[0].QueryNames().back());

        // Another photo, so that the cache does not answer.
        const std::filesystem::path other = dir.Path() / (std::string(c.pszFolder) + ".jpg");
        ASSERT_TRUE(WriteGpsJpeg(other, -40.7, 73.96));
        server.SetAnswer(c.pszPath, ServiceFixture(c.pszFolder, c.pszError));
        EXPECT_TRUE(host.Caption(other.wstring(), strCaption));
        EXPECT_EQ(c.strError, strCaption);
        unsetenv("LOCANYM_SERVICE_URL");
    }
}

}  // namespace
