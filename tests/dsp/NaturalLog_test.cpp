#include "dsp/NaturalLog.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace kalindor {
namespace {

// Within a few 1e-16 of std::log, relative to max(1, |ln v|): close enough that the display
// value float(25 ln v) agrees with one taken from std::log.
TEST(NaturalLog, MatchesStdLogAcrossTheRange) {
    int far = 0;
    const auto check = [&far](float v) {
        const double expected = std::log(static_cast<double>(v));
        if (std::abs(naturalLog(v) - expected) > 8e-16 * std::max(1.0, std::abs(expected))) {
            ADD_FAILURE() << "v = " << v << " (" << ++far << ")";
        }
    };
    EXPECT_EQ(naturalLog(1.0f), 0.0);  // silence scales to exactly 0
    for (int e = -126; e <= 127; ++e) {
        check(std::ldexp(1.0f, e));
    }
    // Every mantissa step around 1 (where the result is tiny) and every whole transform value.
    for (float v = 0.98f; v < 1.02f && far < 10; v = std::nextafter(v, 2.0f)) {
        check(v);
    }
    for (int v = 1; v <= 65280 && far < 10; ++v) {
        check(static_cast<float>(v));
    }
    std::mt19937 rng(99);
    std::uniform_int_distribution<std::uint32_t> bits(0x00800000u, 0x7F7FFFFFu);
    for (int i = 0; i < 1000000 && far < 10; ++i) {
        check(std::bit_cast<float>(bits(rng)));
    }
    for (const float v : {std::numeric_limits<float>::max(), std::numeric_limits<float>::min(),
                          std::numeric_limits<float>::denorm_min(), 1e-40f}) {
        check(v);
    }
}

}  // namespace
}  // namespace kalindor
