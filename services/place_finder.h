// Finds the place a position belongs to in the offline place data, without any network.
//
// The place is the populated place nearest to the position among the city it lies in and that
// city's sections (districts, neighbourhoods); the city is the town or city whose catchment
// holds the position. A catchment grows with the population, so a photo at a landmark of a
// large city gets that city even when a suburb's or a district's centre is nearer.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "services/places_data.h"

// The six texts of a found place, in the order of the location record.
struct CPlaceNames {
    std::wstring m_strPlace;        // the place the position lies in (a town, or a district)
    std::wstring m_strCity;         // the town or city that place belongs to
    std::wstring m_strAdmin1;       // the first-level division; empty when it has no name
    std::wstring m_strCountry;      // country name in the requested language, else English
    std::wstring m_strCountryCode;  // two upper-case letters
    std::wstring m_strFull;         // place, city, division, country; no empty part, no repeat
};

// Nothing within this distance of a position: no answer, as over open sea or ice.
inline constexpr double kMaxPlaceDistanceKm = 50.0;

// Reads a CPlacesData that must stay open and unchanged while the finder is used. Const
// members may be called from several threads at once.
class CPlaceFinder {
  public:
    explicit CPlaceFinder(const CPlacesData& data) : m_data(data) {}

    // Index of the language whose country names to use, for a tag such as "fr", "pt_BR",
    // "pt-br" or "FR" (an exact tag first, then the language alone); -1 for English, which is
    // also the answer for an empty or unknown tag. Compute it once per language setting.
    int FindLanguage(std::wstring_view strLang) const;

    // Fills names for a position in degrees (latitude -90 to 90, longitude -180 to 180).
    // False, with names left as they came, for a position outside those ranges, not a number,
    // or farther than kMaxPlaceDistanceKm from every place.
    bool Find(double dLat, double dLon, int nLanguage, CPlaceNames& names) const;
    // The same for coordinate texts as photos give them ("48.8584000", "-7.6916667"); false
    // also for a text that is no plain decimal number.
    bool Find(std::wstring_view strLat, std::wstring_view strLon, int nLanguage,
              CPlaceNames& names) const;

    // The search underneath, in data indexes; kNone for none. Exposed for tests and tools.
    static constexpr uint32_t kNone = 0xFFFFFFFFu;
    struct SMatch {
        uint32_t nPlace = kNone;    // the place
        uint32_t nCity = kNone;     // its city
        uint32_t nNearest = kNone;  // the nearest place centre of any kind
        double dNearestKm = 0;
    };
    SMatch Match(double dLat, double dLon) const;
    // Calls visit(index, distance in km, place) for every place within dRadiusKm (at most
    // kMaxPlaceDistanceKm) of the position, through the grid; nothing for a position outside
    // the ranges above or when the data is not open.
    template <class F>
    void ForEachWithin(double dLat, double dLon, double dRadiusKm, F&& visit) const;
    // Distance in km between a position and a place, as the search measures it: exact to
    // within 0.1 % up to kMaxPlaceDistanceKm, across the antimeridian and at the poles.
    static double DistanceKm(double dLat, double dLon, const SPlace& place) {
        return DistanceKm(SOrigin(dLat, dLon), place);
    }

  private:
    struct SOrigin {
        SOrigin(double dLat, double dLon);
        double m_dLat, m_dLon, m_dCos, m_dSin;
        bool m_bPolar;
    };
    static double DistanceKm(const SOrigin& origin, const SPlace& place);
    struct SCellRange {
        uint32_t nRowFirst, nRowLast, nColFirst, nColCount;
    };
    static SCellRange CellsAround(double dLat, double dLon, double dRadiusKm);

    const CPlacesData& m_data;
};

template <class F>
void CPlaceFinder::ForEachWithin(double dLat, double dLon, double dRadiusKm, F&& visit) const {
    if (!m_data.IsOpen() || !(dLat >= -90.0 && dLat <= 90.0 && dLon >= -180.0 && dLon <= 180.0)) {
        return;
    }
    SCellRange range = CellsAround(dLat, dLon, dRadiusKm);
    SOrigin origin(dLat, dLon);
    for (uint32_t nRow = range.nRowFirst; nRow <= range.nRowLast; ++nRow) {
        for (uint32_t i = 0; i < range.nColCount; ++i) {
            uint32_t nCell = nRow * kGridCols + (range.nColFirst + i) % kGridCols;
            uint32_t nEnd = m_data.GetCellEnd(nCell);
            for (uint32_t n = m_data.GetCellStart(nCell); n < nEnd; ++n) {
                SPlace place = m_data.GetPlace(n);
                double dKm = DistanceKm(origin, place);
                if (dKm <= dRadiusKm) visit(n, dKm, place);
            }
        }
    }
}

inline double CPlaceFinder::DistanceKm(const SOrigin& origin, const SPlace& place) {
    constexpr double kEarthRadiusKm = 6371.0088;
    constexpr double kRad = 3.14159265358979323846 / 180.0;
    double dLat2 = place.nLat * (1.0 / kCoordinateScale);
    double dLon = place.nLon * (1.0 / kCoordinateScale) - origin.m_dLon;
    if (dLon > 180.0) dLon -= 360.0;
    if (dLon < -180.0) dLon += 360.0;
    double dLat = dLat2 - origin.m_dLat;
    if (origin.m_bPolar || dLat2 > 80.0 || dLat2 < -80.0) {
        // Near a pole the meridians converge too fast for the flat approximation below.
        double a = std::sin(dLat * kRad / 2) * std::sin(dLat * kRad / 2) +
                   origin.m_dCos * std::cos(dLat2 * kRad) * std::sin(dLon * kRad / 2) *
                       std::sin(dLon * kRad / 2);
        return 2 * kEarthRadiusKm * std::asin(std::sqrt(std::min(1.0, a)));
    }
    // Flat projection at the mid latitude; its cosine from a Taylor step off the origin's,
    // which is exact to 1e-8 over half a degree and costs no trigonometric call per place.
    double h = dLat * kRad / 2;
    double dCosMid = origin.m_dCos * (1 - h * h / 2) - origin.m_dSin * h;
    double x = dLon * kRad * dCosMid;
    double y = dLat * kRad;
    return kEarthRadiusKm * std::sqrt(x * x + y * y);
}
