// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Rounding.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <string>

namespace kalindor {
namespace {

TEST(Rounding, HalvesGoToTheEvenNeighbourInEveryRoundingMode) {
    const double below = std::nextafter(2.5, 0.0);  // the nearest doubles around 2.5 and 0.5
    const double above = std::nextafter(2.5, 3.0);
    const double belowHalf = std::nextafter(0.5, 0.0);
    // Rows {value, rounded}.
    const double cases[][2] = {
        {2.5, 2.0},   {3.5, 4.0},        {-2.5, -2.0},           {-3.5, -4.0},
        {0.5, 0.0},   {254.5, 254.0},    {253.5, 254.0},         {below, 2.0},
        {above, 3.0}, {-belowHalf, 0.0}, {0x1p52 - 0.5, 0x1p52}, {1e300, 1e300}};
    for (const int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        EXPECT_EQ(std::fesetround(mode), 0) << mode;
        for (const auto& [value, rounded] : cases) {
            SCOPED_TRACE("mode " + std::to_string(mode) + ": " + std::to_string(value));
            volatile double input = value;  // keeps the compiler from rounding it beforehand
            EXPECT_EQ(roundHalfEven(input), rounded);
        }
    }
    std::fesetround(FE_TONEAREST);
}

}  // namespace
}  // namespace kalindor
