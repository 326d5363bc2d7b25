// The replay behind the demo: a request is answered with the fixture of its service whose
// place lies nearest to the requested coordinates.
#include "tests/support/fixture_replay.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "http/query.h"
#include "services/geonames.h"

namespace {

TEST(FixtureReplay, NearestPlaceOfTheRequestedServiceIsServed) {
    CFixtureReplay replay;
    std::string strError;
    ASSERT_TRUE(
        replay.Load(ServiceFixturePath("geonames", "x").parent_path().parent_path(), strError));
    CLoopbackServer server;
    server.SetHandler([&replay](const SLoopbackRequest& request) {
        std::string strChosen;
        return replay.Answer(request, strChosen);
    });
    ASSERT_TRUE(server.Start());
    setenv("LOCANYM_SERVICE_URL", server.BaseUrl().c_str(), 1);
    SetHttpConfig(ReadHttpConfigFromEnvironment());

    CPlugInSettings settings;
    std::atomic<int32_t> stop{0};
    CGeoNames geonames(settings, stop);
    struct SCase {
        const wchar_t *pszLat, *pszLon, *pszCountryCode;
    } cases[] = {{L"48.8583701", L"2.2944813", L"FR"},
                 {L"49.5000000", L"3.5000000", L"FR"},
                 {L"0.0000000", L"-30.0000000", nullptr}};
    for (const SCase& c : cases) {
        SCOPED_TRACE(std::wstring(c.pszLat) + L"," + c.pszLon);
        CLocationRecord record;
        const int nResult = geonames.FindLocation(c.pszLat, c.pszLon, record);
        const std::wstring& strCode = record.m_strCountryCode;
        if (c.pszCountryCode) {
            EXPECT_EQ(1, nResult);
            EXPECT_EQ(c.pszCountryCode, strCode);
        } else {
            EXPECT_EQ(0, nResult);  // far from every recorded place
            EXPECT_EQ(L"Locnm: HTTP Error 404", geonames.m_strError);
        }
    }
    unsetenv("LOCANYM_SERVICE_URL");
    SetHttpConfig(ReadHttpConfigFromEnvironment());

    SLoopbackRequest unknown;
    unknown.strPath = "/nothing/here";
    std::string strChosen = "x";
    EXPECT_EQ(404, replay.Answer(unknown, strChosen).nStatus);
    EXPECT_EQ("", strChosen);
    EXPECT_FALSE(replay.Load("/nonexistent-folder", strError));
}

TEST(FixtureReplay, EveryServiceHasItsRecordedPlaces) {
    CFixtureReplay replay;
    std::string strError;
    ASSERT_TRUE(
        replay.Load(ServiceFixturePath("geonames", "x").parent_path().parent_path(), strError));
    struct SCase {
        const char *pszPath, *pszQuery, *pszChosen;
    } cases[] = {
        {"/v1/reverse", "lat=40.78&lon=-73.96&format=json&key=k", "locationiq/result_city_us"},
        {"/v1/geocode/reverse", "lat=55.75&lon=37.62&apiKey=k", "geoapify/result_nonlatin_ru_json"},
        {"/data/reverse-geocode", "latitude=35.70&longitude=139.66&key=k",
         "bigdatacloud/result_city_tokyo_en"},
        {"/reverse", "lat=40.70&lon=-74.00&api_key=k", "mapsco/result_city_docs_example"},
        {"/geo/1.0/reverse", "lat=51.50&lon=-0.07&limit=1&appid=k",
         "openweather/result_city_london_limit1"},
    };
    for (const SCase& c : cases) {
        SLoopbackRequest request;
        request.strPath = c.pszPath;
        request.strQuery = c.pszQuery;
        std::string strChosen;
        EXPECT_EQ(200, replay.Answer(request, strChosen).nStatus);
        EXPECT_EQ(c.pszChosen, strChosen);
    }
}

}  // namespace
