// Each of the six web services through the real module (message 19), its endpoint moved to a
// loopback server with LOCANYM_SERVICE_URL: a recorded answer becomes the caption, an error
// answer the error text (or nothing, with ErrMsg off; that captions are cached and failures not
// is cache_sessions_test's and host_caption_test's), and the stop message ends a waiting request.
// The offline place finder (iProv 6) from the data file beside the module, a missing data file, and
// the fallback for a web service that cannot be reached.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <thread>

#include "base/text.h"
#include "tests/support/loopback_server.h"
#include "tests/support/photo_writer.h"
#include "tests/support/plugin_host.h"

namespace {

namespace fs = std::filesystem;

const wchar_t* const kFormat = L"%L / %C / %S / %Y / %D / %F";

// The caption message 19 gives for photo; a message that goes unanswered fails the test.
std::wstring Caption(CTestHost& host, const fs::path& photo) {
    std::wstring strCaption;
    EXPECT_TRUE(host.Caption(photo.wstring(), strCaption));
    return strCaption;
}

// How each service reads its error answers is the service table's (service_catalogue_test);
// here one error answer and one stalled answer show the module's side.
TEST(ServicesEndToEnd, RecordedAnswerGivesTheCaptionAnErrorAnswerItsTextAndStopEndsAWait) {
    const std::string kAt = "lat=40.7000000&lon=-73.9600000";
    struct SCase {
        int nProv;
        const wchar_t* pszName;  // the key's setting is "AK-" and this name
        const wchar_t* pszLang;
        const char *pszFolder, *pszPath, *pszResult;
        std::string strQuery;  // the request: parameters in the service's order, the key last
        std::wstring strCaption;
    } cases[] = {
        {0, L"LocationIQ", L"DE", "locationiq", "/v1/reverse", "result_city_us",
         kAt + "&format=json&normalizeaddress=1&accept-language=de&key=my%20key",
         L"Bedford Avenue, New York, New York, United States of America | us | 279, Bedford "
         L"Avenue, Williamsburg, New York, Kings County, New York, 11211, USA"},
        {1, L"GeoApify", L"PT-br", "geoapify", "/v1/geocode/reverse", "result_city_berlin_json",
         kAt + "&format=json&limit=5&lang=pt-br&apiKey=my%20key",
         L"RathausPassagen, Berlin, Germany | de | RathausPassagen, Rathausstra\u00dfe 1-14, "
         L"10178 Berlin, Germany"},
        {2, L"GeoNames", L"", "geonames", "/findNearbyPlaceNameJSON",
         "result_city_paris_findNearbyPlaceName_full",
         "lat=40.7000000&lng=-73.9600000&style=full&maxRows=3&username=my%20key",
         L"Paris 05 Panth\u00e9on, Paris, \u00cele-de-France, France | FR | Paris 05 "
         L"Panth\u00e9on, Paris, \u00cele-de-France, France"},
        {3, L"BigDataCloud", L"JA", "bigdatacloud", "/data/reverse-geocode", "result_city_tokyo_en",
         "latitude=40.7000000&longitude=-73.9600000&localityLanguage=ja&key=my%20key",
         L"Nakano, Tokyo, Tokyo, Japan | JP | Nakano, Tokyo, Tokyo, Japan"},
        {4, L"MapsCo", L"FR", "mapsco", "/reverse", "result_city_docs_example",
         kAt + "&format=json&api_key=my%20key",
         L"Manhattan, New York, United States | us | Manhattan, New York, United States"},
        {5, L"OpenWeather", L"FR", "openweather", "/geo/1.0/reverse", "result_us_with_state",
         kAt + "&limit=1&appid=my%20key", L"London, OH, US | US | London, OH, US"},
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
        host.m_settings[L"iProv"].nValue = c.nProv;
        host.m_settings[L"GeoType"].nValue = 0;
        host.m_settings[L"Format"] = {true, 0, L"%A | %D | %F"};
        host.m_settings[L"Lang"] = {true, 0, c.pszLang};
        host.m_settings[std::wstring(L"AK-") + c.pszName] = {true, 0, L"my key"};
        host.Start();

        server.SetAnswer(c.pszPath, ServiceFixture(c.pszFolder, c.pszResult));
        EXPECT_EQ(c.strCaption, Caption(host, photo));
        const auto requests = server.Requests();
        ASSERT_EQ(1u, requests.size());
        EXPECT_EQ(c.strQuery, requests[0].strQuery);
        if (c.nProv != 0) {
            unsetenv("LOCANYM_SERVICE_URL");
            continue;
        }

        // Another photo, so that the cache does not answer.
        const std::filesystem::path other = dir.Path() / "other.jpg";
        ASSERT_TRUE(WriteGpsJpeg(other, -40.7, 73.96));
        server.SetAnswer(c.pszPath, ServiceFixture(c.pszFolder, "error_invalid_key"));
        EXPECT_EQ(L"Locnm: HTTP Error 401\r\nInvalid key", Caption(host, other));
        // A request that waits for an answer ends at once, without a text, at the stop message.
        SLoopbackAnswer stall;
        stall.eTrouble = ELoopbackTrouble::kStallBeforeAnswer;
        server.SetAnswer(c.pszPath, stall);
        std::thread stopper([&host] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            host.Send(kMsgStop, 0, 0);
        });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(L"", Caption(host, other));
        stopper.join();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
        // The next show, with ErrMsg off: an error answer leaves the caption empty.
        server.SetAnswer(c.pszPath, ServiceFixture(c.pszFolder, "error_invalid_key"));
        host.Send(kMsgStart, 0, 1);
        host.m_settings[L"ErrMsg"].nValue = 0;
        host.m_settings[L"Enabled"].nValue = 1;
        host.Send(kMsgLoadSettings);
        EXPECT_EQ(L"", Caption(host, other));
        unsetenv("LOCANYM_SERVICE_URL");
    }
}

class OfflineEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(fs::path(LOCANYM_MODULE_PATH).parent_path() / "Locanym-places.dat"))
            GTEST_SKIP() << "the build made no place data file (run scripts/fetch-places.sh)";
    }

    CTempDir m_dir;
};

// The module also survives a missing data file (a damaged one is the reader's tests' matter; no
// place near a photo is module_robustness_test's case): an error text, nothing cached.
TEST_F(OfflineEndToEnd, CaptionsComeFromThePlaceDataInTheChosenLanguage) {
    struct {
        const char* pszPhoto;
        double dLat, dLon;
        const wchar_t* pszLang;
        const wchar_t* pszCaption;  // null: the data file is removed
    } cases[] = {
        {"eiffel.jpg", 48.8584, 2.2945, L"",
         L"Paris / Paris / \u00cele-de-France / France / FR / Paris, \u00cele-de-France, France"},
        {"colosseum.jpg", 41.89021, 12.492231, L"fr",
         L"Rome / Rome / Lazio / Italie / IT / Rome, Lazio, Italie"},
        {"eiffel.jpg", 48.8584, 2.2945, L"", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszPhoto);
        CTestHost host;
        host.m_settings[L"iProv"].nValue = 6;
        host.m_settings[L"Format"] = {true, 0, kFormat};
        host.m_settings[L"Lang"] = {true, 0, c.pszLang};
        if (!c.pszCaption) fs::remove(host.m_moduleCopy.parent_path() / "Locanym-places.dat");
        host.Start();
        const fs::path photo = m_dir.Path() / c.pszPhoto;
        ASSERT_TRUE(WriteGpsJpeg(photo, c.dLat, c.dLon));
        // Twice: the second caption comes from the cache, or again from the failing lookup.
        for (int nTry = 0; nTry < 2; ++nTry) {
            const std::wstring strCaption = Caption(host, photo);
            if (c.pszCaption) {
                EXPECT_EQ(c.pszCaption, strCaption);
            } else {
                EXPECT_EQ(0u, strCaption.rfind(L"Locnm: Offline place data unusable: ", 0))
                    << WideToUtf8(strCaption);
            }
        }
        EXPECT_EQ(c.pszCaption != nullptr, host.HasLog(L"Cached"));
    }
}

// A service that answered, if uselessly, is no reason to fall back (query_server_test's
// unreachable flag); without the Offline setting a refused connection gives the error text, as
// module_robustness_test shows.
TEST_F(OfflineEndToEnd, FallbackCaptionsOnlyAServiceThatCannotBeReachedAndCachesNothing) {
    // A port nobody listens on: the connection is refused.
    CLoopbackServer server;
    ASSERT_TRUE(server.Start());
    const int nPort = server.Port();
    setenv("LOCANYM_SERVICE_URL", server.BaseUrl().c_str(), 1);
    server.Stop();
    const fs::path photo = m_dir.Path() / "eiffel.jpg";
    ASSERT_TRUE(WriteGpsJpeg(photo, 48.8584, 2.2945));
    CTestHost host;
    host.m_settings[L"iProv"].nValue = 2;
    host.m_settings[L"GeoType"].nValue = 0;
    host.m_settings[L"Offline"].nValue = 1;
    host.m_settings[L"Format"] = {true, 0, kFormat};
    host.Start();
    EXPECT_EQ(
        L"Paris / Paris / \u00cele-de-France / France / FR / Paris, \u00cele-de-France, France",
        Caption(host, photo));

    // The next show asks the web service again, which now answers.
    CLoopbackServer answering;
    ASSERT_TRUE(answering.Start(nPort));
    answering.SetAnswer("/findNearbyPlaceNameJSON",
                        ServiceFixture("geonames", "result_city_paris_findNearbyPlaceName_full"));
    EXPECT_EQ(0u, Caption(host, photo).rfind(L"Paris 05 Panth\u00e9on / Paris / ", 0));
    EXPECT_EQ(1u, answering.Requests().size());
    unsetenv("LOCANYM_SERVICE_URL");
}

}  // namespace
