// Each of the six services through the real module (message 19), its endpoint moved to a
// loopback server with LOCANYM_SERVICE_URL: a recorded answer becomes the caption and is cached,
// an error answer the error text (or nothing, with ErrMsg off) and is not cached; the stop
// message ends a waiting request.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <thread>

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

TEST(ServicesEndToEnd, RecordedAnswerGivesTheCaptionAndAnErrorAnswerItsText) {
    struct SCase {
        int nProv;
        const wchar_t* pszName;  // the key's setting is "AK-" and this name
        const char *pszFolder, *pszPath, *pszKeyParam, *pszResult, *pszError;
        std::wstring strCaption, strError;
    } cases[] = {
        {0, L"LocationIQ", "locationiq", "/v1/reverse", "key", "result_city_us",
         "error_invalid_key",
         L"Bedford Avenue, New York, New York, United States of America | us | 279, Bedford "
         L"Avenue, Williamsburg, New York, Kings County, New York, 11211, USA",
         L"Locnm: HTTP Error 401\r\nInvalid key"},
        {1, L"GeoApify", "geoapify", "/v1/geocode/reverse", "apiKey", "result_city_berlin_json",
         "error_invalid_key",
         L"RathausPassagen, Berlin, Germany | de | RathausPassagen, Rathausstra\u00dfe 1-14, "
         L"10178 Berlin, Germany",
         L"Locnm: HTTP Error 401\r\nUnauthorized\r\nInvalid apiKey"},
        {2, L"GeoNames", "geonames", "/findNearbyPlaceNameJSON", "username",
         "result_city_paris_findNearbyPlaceName_full", "error_user_does_not_exist",
         L"Paris 05 Panth\u00e9on, Paris, \u00cele-de-France, France | FR | Paris 05 "
         L"Panth\u00e9on, Paris, \u00cele-de-France, France",
         L"Locnm: HTTP Error 401\r\nuser does not exist."},
        {3, L"BigDataCloud", "bigdatacloud", "/data/reverse-geocode", "key", "result_city_tokyo_en",
         "error_access_denied_or_quota",
         L"Nakano, Tokyo, Tokyo, Japan | JP | Nakano, Tokyo, Tokyo, Japan",
         L"Locnm: HTTP Error 403\r\naccess denied or your quota limit has been exceeded"},
        {4, L"MapsCo", "mapsco", "/reverse", "api_key", "result_city_docs_example",
         "error_rate_limit",
         L"Manhattan, New York, United States | us | Manhattan, New York, United States",
         L"Locnm: HTTP Error 429"},
        {5, L"OpenWeather", "openweather", "/geo/1.0/reverse", "appid", "result_us_with_state",
         "error_invalid_key", L"London, OH, US | US | London, OH, US",
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
        host.m_settings[std::wstring(L"AK-") + c.pszName] = Setting(0, L"my key");
        host.Start();

        server.SetAnswer(c.pszPath, ServiceFixture(c.pszFolder, c.pszResult));
        std::wstring strCaption;
        EXPECT_TRUE(host.Caption(photo.wstring(), strCaption));
        EXPECT_EQ(c.strCaption, strCaption);
        const auto requests = server.Requests();
        ASSERT_EQ(1u, requests.size());
        EXPECT_EQ(c.pszPath, requests[0].strPath);
        EXPECT_EQ(c.pszKeyParam, requests[0].QueryNames().back());
        EXPECT_EQ("my%20key", requests[0].QueryValue(c.pszKeyParam));
        // The same photo again: from the cache, without a request.
        EXPECT_TRUE(host.Caption(photo.wstring(), strCaption));
        EXPECT_EQ(c.strCaption, strCaption);
        EXPECT_EQ(1u, server.Requests().size());

        // Another photo, so that the cache does not answer.
        const std::filesystem::path other = dir.Path() / (std::string(c.pszFolder) + ".jpg");
        ASSERT_TRUE(WriteGpsJpeg(other, -40.7, 73.96));
        server.SetAnswer(c.pszPath, ServiceFixture(c.pszFolder, c.pszError));
        EXPECT_TRUE(host.Caption(other.wstring(), strCaption));
        EXPECT_EQ(c.strError, strCaption);
        // Asked again, since a failure is not cached; with ErrMsg off the caption is empty.
        const size_t nAsked = server.Requests().size();
        host.m_settings[L"ErrMsg"] = Setting(0);
        host.m_settings[L"Enabled"] = Setting(1);
        host.Send(kMsgLoadSettings);
        EXPECT_TRUE(host.Caption(other.wstring(), strCaption));
        EXPECT_EQ(L"", strCaption);
        EXPECT_LT(nAsked, server.Requests().size());
        unsetenv("LOCANYM_SERVICE_URL");
    }
}

TEST(ServicesEndToEnd, StopMessageEndsAWaitingRequestAtOnce) {
    CLoopbackServer server;
    ASSERT_TRUE(server.Start());
    SLoopbackAnswer stall;
    stall.eTrouble = ELoopbackTrouble::kStallBeforeAnswer;
    server.SetAnswer("/findNearbyPlaceNameJSON", stall);
    setenv("LOCANYM_SERVICE_URL", server.BaseUrl().c_str(), 1);
    CTempDir dir;
    const std::filesystem::path photo = dir.Path() / "pantheon.jpg";
    ASSERT_TRUE(WriteGpsJpeg(photo, 48.8448, 2.3471));
    CTestHost host;
    host.m_settings[L"iProv"] = Setting(2);
    host.m_settings[L"GeoType"] = Setting(0);
    host.Start();
    std::thread stopper([&host] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        host.Send(kMsgStop, 0, 0);
    });
    const auto start = std::chrono::steady_clock::now();
    std::wstring strCaption;
    EXPECT_TRUE(host.Caption(photo.wstring(), strCaption));
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(L"", strCaption);
    unsetenv("LOCANYM_SERVICE_URL");
}

}  // namespace
