#include "dsp/NaturalLog.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace kalindor {
namespace {

// Differs from std::log by no more than a few 1e-16, relative to max(1, |ln v|).
void expectClose(float v) {
    const double expected = std::log(static_cast<double>(v));
    const double tolerance = 8e-16 * std::max(1.0, std::abs(expected));
    ASSERT_NEAR(naturalLog(v), expected, tolerance) << "v = " << v;
}

TEST(NaturalLog, MatchesStdLogAcrossTheRange) {
    EXPECT_EQ(naturalLog(1.0f), 0.0);  // silence scales to exactly 0
    for (int e = -126; e <= 127; ++e) {
        expectClose(std::ldexp(1.0f, e));
    }
    // Every mantissa step around 1 (where the result is tiny) and every whole transform value.
    for (float v = 0.98f; v < 1.02f; v = std::nextafter(v, 2.0f)) {
        expectClose(v);
    }
    for (int v = 1; v <= 65280; ++v) {
        expectClose(static_cast<float>(v));
    }
    std::mt19937 rng(99);
    std::uniform_int_distribution<std::uint32_t> bits(0x00800000u, 0x7F7FFFFFu);
    for (int i = 0; i < 1000000; ++i) {
        expectClose(std::bit_cast<float>(bits(rng)));
    }
    expectClose(std::numeric_limits<float>::max());
    expectClose(std::numeric_limits<float>::min());
    expectClose(std::numeric_limits<float>::denorm_min());
    expectClose(1e-40f);
}

TEST(NaturalLog, ScaledPointsAgreeWithStdLogAfterRoundingToFloat) {
    // The display value float(25 ln v): a rare boundary case may differ by one float step.
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> transform(1e-4f, 70000.0f);
    int differing = 0;
    constexpr int kCount = 1000000;
    for (int i = 0; i < kCount; ++i) {
        const float v = transform(rng);
        const float fast = static_cast<float>(naturalLog(v) * 25.0);
        const float reference = static_cast<float>(std::log(static_cast<double>(v)) * 25.0);
        if (fast != reference) {
            ++differing;
            ASSERT_EQ(std::nextafter(fast, reference), reference) << v;
        }
    }
    EXPECT_LT(differing, kCount / 100000);
}

}  // namespace
}  // namespace kalindor
