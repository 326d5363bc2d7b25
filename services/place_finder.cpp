#include "services/place_finder.h"

#include <charconv>

#include "base/text.h"

namespace {

constexpr double kRad = 3.14159265358979323846 / 180.0;
constexpr double kKmPerDegree = 111.19;  // along a meridian, on the mean Earth radius
// A place of population p draws the positions within kCatchmentKm * p^0.2 km of its centre:
// 3 km for a village of 1,000, 8 km for a town of 100,000, 15 km for a city of 2 million.
constexpr double kCatchmentKm = 0.8;
// The data gives 0 for many places whose population is unknown; they weigh as small towns.
constexpr double kMinPopulation = 1000.0;
// Among the catchments that hold a position, the place with the largest population / (d² + s²)
// wins: a town whose centre is a few hundred metres away beats a city 12 km away, while a
// landmark 4 km from a capital's centre stays in the capital.
constexpr double kSofteningKm = 1.0;
constexpr int kSectionsKept = 8;
// A district names a position only close to its centre: the data holds few districts, and
// one 6 km away says less than the city itself.
constexpr double kMaxSectionKm = 3.0;

double Population(const SPlace& place) {
    return place.nPopulation < kMinPopulation ? kMinPopulation : place.nPopulation;
}

// d <= kCatchmentKm * p^0.2, as d^5 <= kCatchmentKm^5 * p, with no pow() per place.
bool InCatchment(double dKm, double dPopulation) {
    constexpr double kCatchment5 =
        kCatchmentKm * kCatchmentKm * kCatchmentKm * kCatchmentKm * kCatchmentKm;
    double d2 = dKm * dKm;
    return d2 * d2 * dKm <= kCatchment5 * dPopulation;
}

// A plain decimal number: optional '-', digits, optional '.' and digits.
bool ParseCoordinate(std::wstring_view strText, double& dValue) {
    if (strText.empty() || strText.size() > 32) return false;
    char buffer[33];
    size_t nDigits = 0;
    bool bPoint = false;
    for (size_t i = 0; i < strText.size(); ++i) {
        wchar_t c = strText[i];
        if (c >= L'0' && c <= L'9') {
            ++nDigits;
        } else if (c == L'.' && !bPoint) {
            bPoint = true;
        } else if (!(c == L'-' && i == 0)) {
            return false;
        }
        buffer[i] = static_cast<char>(c);
    }
    if (nDigits == 0) return false;
    auto result = std::from_chars(buffer, buffer + strText.size(), dValue);
    return result.ec == std::errc() && result.ptr == buffer + strText.size();
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

CPlaceFinder::SOrigin::SOrigin(double dLat, double dLon)
    : m_dLat(dLat),
      m_dLon(dLon),
      m_dCos(std::cos(dLat * kRad)),
      m_dSin(std::sin(dLat * kRad)),
      m_bPolar(dLat > 80.0 || dLat < -80.0) {}

CPlaceFinder::SCellRange CPlaceFinder::CellsAround(double dLat, double dLon, double dRadiusKm) {
    double dSpan = dRadiusKm / kKmPerDegree + 1e-6;
    double dSouth = dLat - dSpan;
    double dNorth = dLat + dSpan;
    auto row = [](double d) {
        double dRow = std::floor((d + 90.0) / kGridStep);
        return static_cast<uint32_t>(std::clamp(dRow, 0.0, kGridRows - 1.0));
    };
    SCellRange range;
    range.nRowFirst = row(dSouth);
    range.nRowLast = row(dNorth);
    // A circle that reaches a pole holds every longitude; otherwise its widest point is at
    // the latitude nearest a pole.
    double dEdge = std::max(std::fabs(dSouth), std::fabs(dNorth));
    if (dEdge >= 90.0) {
        range.nColFirst = 0;
        range.nColCount = kGridCols;
        return range;
    }
    double dLonSpan = dSpan / std::cos(dEdge * kRad);
    if (dLonSpan >= 180.0) {
        range.nColFirst = 0;
        range.nColCount = kGridCols;
        return range;
    }
    double dFirst = std::floor((dLon - dLonSpan + 180.0) / kGridStep);
    double dLast = std::floor((dLon + dLonSpan + 180.0) / kGridStep);
    uint32_t nCount = static_cast<uint32_t>(dLast - dFirst) + 1;
    range.nColCount = std::min(nCount, kGridCols);
    // Columns west of 180 W wrap to the east end of the grid.
    int64_t nFirst = static_cast<int64_t>(dFirst) % static_cast<int64_t>(kGridCols);
    if (nFirst < 0) nFirst += kGridCols;
    range.nColFirst = static_cast<uint32_t>(nFirst);
    return range;
}

CPlaceFinder::SMatch CPlaceFinder::Match(double dLat, double dLon) const {
    SMatch match;
    double dNearest = 1e9, dNearestTown = 1e9, dBestScore = -1, dBestCityKm = 0;
    uint32_t nNearestTown = kNone, nBest = kNone;
    struct SSection {
        uint32_t nPlace;
        double dKm;
    };
    SSection sections[kSectionsKept];
    int nSections = 0;

    ForEachWithin(dLat, dLon, kMaxPlaceDistanceKm,
                  [&](uint32_t n, double dKm, const SPlace& place) {
                      if (dKm < dNearest) {
                          dNearest = dKm;
                          match.nNearest = n;
                      }
                      if (place.nKind == kPlaceSection) {
                          // Keep the nearest few, in order of distance.
                          int i = nSections < kSectionsKept ? nSections++ : kSectionsKept;
                          for (; i > 0 && sections[i - 1].dKm > dKm; --i) {
                              if (i < kSectionsKept) sections[i] = sections[i - 1];
                          }
                          if (i < kSectionsKept) sections[i] = {n, dKm};
                          return;
                      }
                      if (dKm < dNearestTown) {
                          dNearestTown = dKm;
                          nNearestTown = n;
                      }
                      double dPopulation = Population(place);
                      if (InCatchment(dKm, dPopulation)) {
                          double dScore = dPopulation / (dKm * dKm + kSofteningKm * kSofteningKm);
                          if (dScore > dBestScore) {
                              dBestScore = dScore;
                              nBest = n;
                              dBestCityKm = dKm;
                          }
                      }
                  });
    if (match.nNearest == kNone) return match;
    match.dNearestKm = dNearest;

    // Outside every catchment the nearest town stands for itself; where only sections are
    // near, the nearest section does.
    uint32_t nCity = nBest != kNone ? nBest : nNearestTown;
    double dCityKm = nBest != kNone ? dBestCityKm : dNearestTown;
    if (nCity == kNone) {
        nCity = sections[0].nPlace;
        dCityKm = sections[0].dKm;
    }
    match.nCity = match.nPlace = nCity;
    SPlace city = m_data.GetPlace(nCity);
    double dCityPopulation = Population(city);
    for (int i = 0; i < nSections && sections[i].dKm < dCityKm && sections[i].dKm <= kMaxSectionKm;
         ++i) {
        SPlace section = m_data.GetPlace(sections[i].nPlace);
        // A section belongs to the city whose catchment holds its centre.
        if (section.nCountry == city.nCountry && sections[i].nPlace != nCity &&
            InCatchment(DistanceKm(city.nLat * 1e-5, city.nLon * 1e-5, section), dCityPopulation)) {
            match.nPlace = sections[i].nPlace;
            break;
        }
    }
    return match;
}

int CPlaceFinder::FindLanguage(std::wstring_view strLang) const {
    std::string strWanted;
    for (wchar_t c : strLang) {
        if (c > 0x7F) return -1;
        strWanted += c == L'-' ? '_' : LowerAscii(static_cast<char>(c));
    }
    if (strWanted.empty() || strWanted == "en") return -1;
    auto equalsNoCase = [](std::string_view a, std::string_view b) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i) {
            if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
        }
        return true;
    };
    auto language = [](std::string_view tag) { return tag.substr(0, tag.find_first_of("_@")); };
    uint32_t nCount = m_data.GetLanguageCount();
    for (uint32_t i = 0; i < nCount; ++i) {
        if (equalsNoCase(m_data.GetLanguageTag(i), strWanted)) return static_cast<int>(i);
    }
    std::string_view wanted = language(strWanted);
    for (uint32_t i = 0; i < nCount; ++i) {
        if (equalsNoCase(m_data.GetLanguageTag(i), wanted)) return static_cast<int>(i);
    }
    for (uint32_t i = 0; i < nCount; ++i) {
        if (equalsNoCase(language(m_data.GetLanguageTag(i)), wanted)) return static_cast<int>(i);
    }
    return -1;
}

bool CPlaceFinder::Find(double dLat, double dLon, int nLanguage, CPlaceNames& names) const {
    SMatch match = Match(dLat, dLon);
    if (match.nCity == kNone) return false;
    SPlace place = m_data.GetPlace(match.nPlace);
    SPlace city = m_data.GetPlace(match.nCity);
    std::string_view country;
    if (nLanguage >= 0 && static_cast<uint32_t>(nLanguage) < m_data.GetLanguageCount()) {
        country = m_data.GetTranslation(nLanguage, city.nCountry);
    }
    if (country.empty()) country = m_data.GetCountryName(city.nCountry);

    CPlaceNames found;
    found.m_strPlace = Utf8ToWide(m_data.GetString(place.nName));
    found.m_strCity = Utf8ToWide(m_data.GetString(city.nName));
    found.m_strAdmin1 = Utf8ToWide(m_data.GetAdmin1Name(city.nAdmin1));
    found.m_strCountry = Utf8ToWide(country);
    found.m_strCountryCode = Utf8ToWide(m_data.GetCountryCode(city.nCountry));
    const std::wstring* parts[] = {&found.m_strPlace, &found.m_strCity, &found.m_strAdmin1,
                                   &found.m_strCountry};
    for (size_t i = 0; i < std::size(parts); ++i) {
        if (parts[i]->empty()) continue;
        bool bRepeat = false;
        for (size_t j = 0; j < i; ++j) bRepeat = bRepeat || *parts[j] == *parts[i];
        if (bRepeat) continue;
        if (!found.m_strFull.empty()) found.m_strFull += L", ";
        found.m_strFull += *parts[i];
    }
    names = std::move(found);
    return true;
}

bool CPlaceFinder::Find(std::wstring_view strLat, std::wstring_view strLon, int nLanguage,
                        CPlaceNames& names) const {
    double dLat = 0, dLon = 0;
    if (!ParseCoordinate(strLat, dLat) || !ParseCoordinate(strLon, dLon)) return false;
    return Find(dLat, dLon, nLanguage, names);
}
