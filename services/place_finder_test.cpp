// The finder on the real data file built from GeoNames: well-known places on every continent,
// and the grid search against a search over every place.
#include "services/place_finder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <vector>

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

struct SLandmark {
    const char* pszWhat;
    double dLat, dLon;
    const wchar_t* pszCity;
};

// Each with the city a visitor would name; the nearest place centre is often another one.
const SLandmark kLandmarks[] = {
    {"Eiffel Tower", 48.8584, 2.2945, L"Paris"},
    {"Brandenburg Gate", 52.5163, 13.3777, L"Berlin"},
    {"Big Ben", 51.5007, -0.1246, L"London"},
    {"Colosseum", 41.8902, 12.4922, L"Rome"},
    {"Red Square", 55.7539, 37.6208, L"Moscow"},
    {"Sagrada Familia", 41.4036, 2.1744, L"Barcelona"},
    {"Acropolis", 37.9715, 23.7257, L"Athens"},
    {"Rijksmuseum", 52.3600, 4.8852, L"Amsterdam"},
    {"Charles Bridge", 50.0865, 14.4114, L"Prague"},
    {"Schoenbrunn Palace", 48.1845, 16.3122, L"Vienna"},
    {"Prado", 40.4138, -3.6921, L"Madrid"},
    {"Hagia Sophia", 41.0086, 28.9802, L"Istanbul"},
    {"Times Square", 40.7580, -73.9855, L"New York City"},
    {"Golden Gate Bridge", 37.8199, -122.4783, L"San Francisco"},
    {"Hollywood Sign", 34.1341, -118.3215, L"Los Angeles"},
    {"White House", 38.8977, -77.0365, L"Washington, D.C."},
    {"CN Tower", 43.6426, -79.3871, L"Toronto"},
    {"Zocalo", 19.4326, -99.1332, L"Mexico City"},
    {"Christ the Redeemer", -22.9519, -43.2105, L"Rio de Janeiro"},
    {"Obelisco", -34.6037, -58.3816, L"Buenos Aires"},
    {"Plaza de Armas", -12.0453, -77.0311, L"Lima"},
    {"La Moneda", -33.4429, -70.6539, L"Santiago"},
    {"Monserrate", 4.6058, -74.0556, L"Bogotá"},
    {"Pyramids of Giza", 29.9792, 31.1342, L"Giza"},
    {"Table Mountain cableway", -33.9628, 18.4098, L"Cape Town"},
    {"Jemaa el-Fnaa", 31.6258, -7.9891, L"Marrakesh"},
    {"Nairobi National Museum", -1.2739, 36.8148, L"Nairobi"},
    {"National Theatre Lagos", 6.4708, 3.3705, L"Lagos"},
    {"Tokyo Tower", 35.6586, 139.7454, L"Tokyo"},
    {"Forbidden City", 39.9163, 116.3972, L"Beijing"},
    {"Taj Mahal", 27.1751, 78.0421, L"Agra"},
    {"Gateway of India", 18.9220, 72.8347, L"Mumbai"},
    {"Marina Bay Sands", 1.2834, 103.8607, L"Singapore"},
    {"Burj Khalifa", 25.1972, 55.2744, L"Dubai"},
    {"Grand Palace", 13.7500, 100.4913, L"Bangkok"},
    {"Petronas Towers", 3.1579, 101.7116, L"Kuala Lumpur"},
    {"Victoria Peak", 22.2759, 114.1455, L"Hong Kong"},
    {"Western Wall", 31.7767, 35.2345, L"Jerusalem"},
    {"Sydney Opera House", -33.8568, 151.2153, L"Sydney"},
    {"Sky Tower", -36.8485, 174.7622, L"Auckland"},
};

TEST_F(PlaceFinderRealData, LandmarksGetTheirCity) {
    CPlaceFinder finder(m_data);
    int nFound = 0, nNearest = 0;
    for (const SLandmark& landmark : kLandmarks) {
        CPlaceNames names;
        ASSERT_TRUE(finder.Find(landmark.dLat, landmark.dLon, -1, names)) << landmark.pszWhat;
        SPlace nearest = m_data.GetPlace(finder.Match(landmark.dLat, landmark.dLon).nNearest);
        nNearest += m_data.GetString(nearest.nName) == WideToUtf8(landmark.pszCity);
        nFound += names.m_strCity == landmark.pszCity;
        if (names.m_strCity != landmark.pszCity) {
            std::printf("  %s: %s, expected %s\n", landmark.pszWhat,
                        WideToUtf8(names.m_strFull).c_str(), WideToUtf8(landmark.pszCity).c_str());
        }
    }
    size_t nTotal = std::size(kLandmarks);
    std::printf("%zu landmarks: city right %.1f %% (%d), nearest centre alone %.1f %% (%d)\n",
                nTotal, 100.0 * nFound / nTotal, nFound, 100.0 * nNearest / nTotal, nNearest);
    EXPECT_GE(nFound * 100, static_cast<int>(nTotal) * 95);
}

TEST_F(PlaceFinderRealData, EiffelTowerInEveryLanguage) {
    CPlaceFinder finder(m_data);
    struct {
        const wchar_t* pszLang;
        const wchar_t* pszCountry;
    } const cases[] = {{L"", L"France"},
                       {L"DE", L"Frankreich"},
                       {L"de-AT", L"Frankreich"},
                       {L"xx", L"France"},
                       {L"ru", L"Франция"}};
    for (const auto& c : cases) {
        CPlaceNames names;
        ASSERT_TRUE(
            finder.Find(L"48.8584000", L"2.2945000", finder.FindLanguage(c.pszLang), names));
        EXPECT_EQ(names.m_strCity, L"Paris");
        EXPECT_EQ(names.m_strAdmin1, L"Île-de-France");
        EXPECT_EQ(names.m_strCountry, c.pszCountry) << WideToUtf8(c.pszLang);
        EXPECT_EQ(names.m_strCountryCode, L"FR");
        EXPECT_EQ(names.m_strFull, L"Paris, Île-de-France, " + names.m_strCountry);
    }
}

TEST_F(PlaceFinderRealData, ADistrictIsThePlaceOnlyCloseToItsCentre) {
    CPlaceFinder finder(m_data);
    struct {
        double dLat, dLon;
        const wchar_t* pszFull;
    } const cases[] = {
        {52.5163, 13.3777, L"Tiergarten, Berlin, State of Berlin, Germany"},
        {40.7580, -73.9855, L"Hell's Kitchen, New York City, New York, United States"},
        // The nearest centres are Neuilly-sur-Seine's (another town) and Chinatown's (6 km).
        {48.8584, 2.2945, L"Paris, Île-de-France, France"},
        {37.8199, -122.4783, L"San Francisco, California, United States"},
        // Outside every catchment the nearest village stands for itself.
        {-17.77, 177.95, L"Ba, Western, Fiji"},
    };
    for (const auto& c : cases) {
        CPlaceNames names;
        ASSERT_TRUE(finder.Find(c.dLat, c.dLon, -1, names));
        EXPECT_EQ(names.m_strFull, c.pszFull);
    }
}

TEST_F(PlaceFinderRealData, GridFindsTheSamePlacesAsASearchOverAll) {
    CPlaceFinder finder(m_data);
    std::mt19937 random(12);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    uint32_t nCount = m_data.GetPlaceCount();
    // The search over all places, in order of latitude only: a degree of latitude is 111 km
    // everywhere, so a band of one degree holds every place within 50 km.
    std::vector<std::pair<double, uint32_t>> byLatitude;
    for (uint32_t n = 0; n < nCount; ++n)
        byLatitude.emplace_back(m_data.GetPlace(n).nLat * 1e-5, n);
    std::sort(byLatitude.begin(), byLatitude.end());
    for (int i = 0; i < 10000; ++i) {
        double dLat, dLon;
        // Half anywhere on the globe (evenly by area), half close to a place, where it is dense.
        if (i % 2) {
            dLat = std::asin(2 * unit(random) - 1) * 180 / 3.14159265358979323846;
            dLon = 360 * unit(random) - 180;
        } else {
            SPlace place = m_data.GetPlace(static_cast<uint32_t>(unit(random) * (nCount - 1)));
            dLat = std::clamp(place.nLat * 1e-5 + unit(random) - 0.5, -90.0, 90.0);
            dLon = place.nLon * 1e-5 + unit(random) - 0.5;
            if (dLon > 180) dLon -= 360;
            if (dLon < -180) dLon += 360;
        }
        std::vector<uint32_t> grid, all;
        finder.ForEachWithin(dLat, dLon, kMaxPlaceDistanceKm,
                             [&](uint32_t n, double, const SPlace&) { grid.push_back(n); });
        auto it = std::lower_bound(byLatitude.begin(), byLatitude.end(),
                                   std::make_pair(dLat - 0.5, uint32_t{0}));
        for (; it != byLatitude.end() && it->first <= dLat + 0.5; ++it) {
            if (CPlaceFinder::DistanceKm(dLat, dLon, m_data.GetPlace(it->second)) <=
                kMaxPlaceDistanceKm) {
                all.push_back(it->second);
            }
        }
        std::sort(grid.begin(), grid.end());
        std::sort(all.begin(), all.end());
        ASSERT_EQ(grid, all) << "at " << dLat << ", " << dLon;
    }
}

}  // namespace
