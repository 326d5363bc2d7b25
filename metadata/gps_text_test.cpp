// A coordinate's text is "%.7f" of degrees + minutes / 60 + seconds / 3600, digit for digit:
// the cache and the services' requests compare and send it as text.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <random>
#include <string>

#include "base/text.h"
#include "metadata/prop_text.h"
#include "metadata/prop_value.h"

namespace {

TEST(FormatGpsCoordinate, WritesTheDigitsPrintfWrites) {
    // Ties of the seventh decimal (1/256 and 3/256 of a degree), the largest and the smallest
    // values the rationals hold, then whole parts with the denominators cameras write, and any.
    std::vector<std::array<uint32_t, 6>> cases = {{1, 256, 0, 1, 0, 1},
                                                  {3, 256, 0, 1, 0, 1},
                                                  {UINT32_MAX, 1, UINT32_MAX, 1, UINT32_MAX, 1},
                                                  {1, UINT32_MAX, 0, 1, 0, 1}};
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i) {
        const uint32_t dens[] = {
            1, 10, 100, 1000, 10000, 1000000, static_cast<uint32_t>(random() | 1)};
        cases.push_back({static_cast<uint32_t>(random() % 181), dens[random() % 7],
                         static_cast<uint32_t>(random() % 6000), dens[random() % 7],
                         static_cast<uint32_t>(random() % 600000), dens[random() % 7]});
    }
    for (const auto& c : cases) {
        const uint64_t elements[] = {PackRational(c[0], c[1]), PackRational(c[2], c[3]),
                                     PackRational(c[4], c[5])};
        std::wstring strText;
        FormatGpsCoordinate(3, elements, strText);
        char szPrinted[64];
        std::snprintf(szPrinted, sizeof szPrinted, "%.7f",
                      (static_cast<double>(c[2]) / c[3] / 60.0 + static_cast<double>(c[0]) / c[1]) +
                          static_cast<double>(c[4]) / c[5] / 3600.0);
        ASSERT_EQ(WideToUtf8(strText), szPrinted)
            << c[0] << "/" << c[1] << " " << c[2] << "/" << c[3] << " " << c[4] << "/" << c[5];
    }
}

}  // namespace
