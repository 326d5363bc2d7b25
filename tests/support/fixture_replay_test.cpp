// The replay behind the demo: a request is answered with the fixture of its service whose
// place lies nearest to the requested coordinates.
#include "tests/support/fixture_replay.h"

#include <gtest/gtest.h>

namespace {

TEST(FixtureReplay, NearestRecordedPlaceOfTheRequestedServiceIsServed) {
    CFixtureReplay replay;
    std::string strError;
    ASSERT_TRUE(
        replay.Load(ServiceFixturePath("geonames", "x").parent_path().parent_path(), strError));
    struct SCase {
        const char *pszPath, *pszQuery, *pszChosen;  // empty: a 404 answer
    } cases[] = {
        {"/findNearbyPlaceNameJSON", "lat=48.8583701&lng=2.2944813&username=demo",
         "geonames/result_city_paris_findNearbyPlaceName_full"},
        {"/findNearbyPlaceNameJSON", "lat=49.5000000&lng=3.5000000&username=demo",
         "geonames/result_city_paris_findNearbyPlaceName_full"},
        {"/findNearbyPlaceNameJSON", "lat=0.0000000&lng=-30.0000000&username=demo", ""},
        {"/v1/reverse", "lat=40.78&lon=-73.96&format=json&key=k", "locationiq/result_city_us"},
        {"/v1/geocode/reverse", "lat=55.75&lon=37.62&apiKey=k", "geoapify/result_nonlatin_ru_json"},
        {"/data/reverse-geocode", "latitude=35.70&longitude=139.66&key=k",
         "bigdatacloud/result_city_tokyo_en"},
        {"/reverse", "lat=40.70&lon=-74.00&api_key=k", "mapsco/result_city_docs_example"},
        {"/geo/1.0/reverse", "lat=51.50&lon=-0.07&limit=1&appid=k",
         "openweather/result_city_london_limit1"},
        {"/nothing/here", "lat=51.50&lon=-0.07", ""},
    };
    for (const SCase& c : cases) {
        SLoopbackRequest request;
        request.strPath = c.pszPath;
        request.strQuery = c.pszQuery;
        std::string strChosen = "x";
        EXPECT_EQ(*c.pszChosen ? 200 : 404, replay.Answer(request, strChosen).nStatus) << c.pszPath;
        EXPECT_EQ(c.pszChosen, strChosen) << c.pszPath;
    }
    EXPECT_FALSE(replay.Load("/nonexistent-folder", strError));
}

}  // namespace
