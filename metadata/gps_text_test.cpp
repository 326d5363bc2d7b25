// A coordinate's text is "%.7f" of degrees + minutes / 60 + seconds / 3600, digit for digit:
// the cache and the services' requests compare and send it as text.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "base/text.h"
#include "metadata/prop_text.h"
#include "metadata/prop_value.h"

namespace {

std::wstring Printed(double value) {
    char szText[64];
    std::snprintf(szText, sizeof szText, "%.7f", value);
    return Utf8ToWide(szText);
}

TEST(FormatGpsCoordinate, WritesTheDigitsPrintfWrites) {
    struct SCase {
        uint32_t nDeg, nDegDen, nMin, nMinDen, nSec, nSecDen;
    };
    std::vector<SCase> cases = {
        {0, 1, 0, 1, 0, 1},                             // zero
        {1, 256, 0, 1, 0, 1},                           // 39062.5 units: a tie, rounded to even
        {3, 256, 0, 1, 0, 1},                           // 117187.5 units: a tie, rounded up to even
        {45, 1, 27, 1, 511, 10},                        // a usual position
        {UINT32_MAX, 1, UINT32_MAX, 1, UINT32_MAX, 1},  // the largest the rationals hold
        {1, UINT32_MAX, 0, 1, 0, 1},                    // the smallest above zero
        {179, 1, 59, 1, 5999, 100},                     // just below the antimeridian
    };
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i) {
        // Whole degrees, minutes and seconds with the denominators cameras write, and any.
        const uint32_t dens[] = {
            1, 10, 100, 1000, 10000, 1000000, static_cast<uint32_t>(random() | 1)};
        cases.push_back({static_cast<uint32_t>(random() % 181), dens[random() % 7],
                         static_cast<uint32_t>(random() % 6000), dens[random() % 7],
                         static_cast<uint32_t>(random() % 600000), dens[random() % 7]});
    }
    for (const SCase& c : cases) {
        const uint64_t elements[] = {PackRational(c.nDeg, c.nDegDen),
                                     PackRational(c.nMin, c.nMinDen),
                                     PackRational(c.nSec, c.nSecDen)};
        std::wstring strText;
        FormatGpsCoordinate(3, elements, strText);
        const double value = (static_cast<double>(c.nMin) / c.nMinDen / 60.0 +
                              static_cast<double>(c.nDeg) / c.nDegDen) +
                             static_cast<double>(c.nSec) / c.nSecDen / 3600.0;
        ASSERT_EQ(strText, Printed(value)) << c.nDeg << "/" << c.nDegDen << " " << c.nMin << "/"
                                           << c.nMinDen << " " << c.nSec << "/" << c.nSecDen;
    }
}

}  // namespace
