// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cmath>

namespace kalindor {

// Rounds to the nearest whole number, a tie going to the even one (2.5 -> 2, 3.5 -> 4,
// -2.5 -> -2). Works only with floor and exact comparisons, so the result does not depend on
// the floating-point rounding mode. Values of 2^52 and more are whole already and come back
// unchanged, as do infinities.
inline double roundHalfEven(double value) {
    constexpr double kWholeFrom = 4503599627370496.0;  // 2^52
    if (!(std::fabs(value) < kWholeFrom)) {
        return value;
    }
    const double below = std::floor(value);
    const double half = below + 0.5;  // exact: |below| < 2^52
    if (value > half) {
        return below + 1.0;
    }
    if (value < half) {
        return below;
    }
    return std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
}

}  // namespace kalindor
