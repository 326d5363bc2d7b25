// The finder on the real data file built from GeoNames: well-known places on every continent.
// The grid's edges (the antimeridian, a pole, the equator, the distance limit) are the
// handmade file's rows in places_convert_test.
#include "services/place_finder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/text.h"

namespace {

class PlaceFinderRealData : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists(LOCANYM_PLACES_FILE)) {
            GTEST_SKIP() << "no " LOCANYM_PLACES_FILE " (run scripts/fetch-places.sh, then build)";
        }
        std::wstring strError;
        ASSERT_TRUE(m_data.Load(Utf8ToWide(LOCANYM_PLACES_FILE), strError)) << WideToUtf8(strError);
    }
    CPlacesData m_data;
};

// Each with the city a visitor would name, on both sides of the equator and of the prime
// meridian; for most of them the nearest place centre is another place (a district, a suburb,
// a neighbouring town). A district is the place only close to its centre; outside every
// catchment the nearest village stands for itself. An unknown language falls back to English
// (a region tag to its language: the handmade rows).
TEST_F(PlaceFinderRealData, LandmarksGetTheirCity) {
    const struct {
        const char* pszWhat;
        double dLat, dLon;
        const wchar_t* pszCity;
        const wchar_t* pszFull;
        const wchar_t* pszLang = L"";  // of the country's name
    } landmarks[] = {
        // The nearest centres are Neuilly-sur-Seine's (another town) and Chinatown's (6 km).
        {"Eiffel Tower", 48.8584, 2.2945, L"Paris", L"Paris, Île-de-France, France"},
        {"Eiffel Tower", 48.8584, 2.2945, L"Paris", L"Paris, Île-de-France, France", L"xx"},
        {"Times Square", 40.7580, -73.9855, L"New York City",
         L"Hell's Kitchen, New York City, New York, United States"},
        {"Ba", -17.77, 177.95, L"Ba", L"Ba, Western, Fiji"},
    };
    CPlaceFinder finder(m_data);
    for (const auto& landmark : landmarks) {
        SCOPED_TRACE(std::string(landmark.pszWhat) + " " + WideToUtf8(landmark.pszLang));
        CPlaceNames names;
        ASSERT_TRUE(finder.Find(landmark.dLat, landmark.dLon, finder.FindLanguage(landmark.pszLang),
                                names));
        EXPECT_EQ(names.m_strCity, landmark.pszCity);
        EXPECT_EQ(names.m_strFull, landmark.pszFull);
    }
}

}  // namespace
