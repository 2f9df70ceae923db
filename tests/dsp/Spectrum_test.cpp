#include <fftw3.h>
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <tuple>

#include "dsp/GraphGeometry.h"
#include "dsp/NaturalLog.h"
#include "dsp/RealFft.h"
#include "dsp/SpectrumPoint.h"

// The per-point arithmetic of the pipeline: the transform against FFTW, the logarithm against
// std::log, then the scaling and hold of one point. Their chain is checked end to end against
// a worked reference by the CLI's analyze test.
namespace kalindor {
namespace {

// FFTW's r2c uses e^(-i...), so its imaginary parts are the negatives of RealFft's. The
// largest modulus is 256 * 255; float rounding over eight stages stays far below 0.1 there,
// while a wrong index, sign or twiddle is off by whole sample units or more.
TEST(RealFft, MatchesFftwOnRandomByteBuffers) {
    std::array<float, kFftSize> in{};
    std::array<fftwf_complex, kFftSize / 2 + 1> out{};
    const fftwf_plan plan = fftwf_plan_dft_r2c_1d(kFftSize, in.data(), out.data(), FFTW_ESTIMATE);
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int trial = 0; trial < 200; ++trial) {
        for (float& v : in) {
            v = static_cast<float>(byte(rng));
        }
        std::array<float, kFftSize> data = in;
        RealFft(data.data());
        fftwf_execute(plan);
        float worst = std::max(std::abs(data[0] - out[0][0]), std::abs(data[1] - out[128][0]));
        for (int k = 1; k < kFftSize / 2; ++k) {
            worst = std::max(
                {worst, std::abs(data[2 * k] - out[k][0]), std::abs(data[2 * k + 1] + out[k][1])});
        }
        EXPECT_LT(worst, 0.1f) << "trial " << trial;
    }
    fftwf_destroy_plan(plan);
}

// Within a few 1e-16 of std::log, relative to max(1, |ln v|), on every whole transform value
// and a million random floats: close enough that the display value float(25 ln v) agrees with
// one taken from std::log.
TEST(NaturalLog, MatchesStdLog) {
    EXPECT_EQ(naturalLog(1.0f), 0.0);  // silence scales to exactly 0
    std::mt19937 rng(99);
    std::uniform_int_distribution<std::uint32_t> bits(0x00800000u, 0x7F7FFFFFu);
    int far = 0;
    for (int i = 1; i < 1065280 && far < 10; ++i) {
        const float v = i <= 65280 ? static_cast<float>(i) : std::bit_cast<float>(bits(rng));
        const double expected = std::log(static_cast<double>(v));
        if (std::abs(naturalLog(v) - expected) > 8e-16 * std::max(1.0, std::abs(expected))) {
            ADD_FAILURE() << "v = " << v << " (" << ++far << ")";
        }
    }
}

TEST(SpectrumPoint, ScalingReplacesZeroMirrorsNegativesAndCapsOnlyFromAbove) {
    // Rows {value, logarithmic, scaled, tolerance}.
    const std::tuple<float, bool, float, float> cases[] = {
        {0.0f, true, 0.0f, 0.0f},         {0.0f, false, 1.0f / 70.0f, 0.0f},
        {-16256.0f, true, 242.4f, 0.05f}, {16256.0f, false, 232.2f, 0.05f},
        {0.001f, true, -172.7f, 0.05f},   {1e6f, true, 255.0f, 0.0f}};
    for (const auto& [v, log, expected, tolerance] : cases) {
        SCOPED_TRACE(testing::Message() << v << (log ? " log" : " linear"));
        EXPECT_NEAR(scalePoint(v, log), expected, tolerance);
    }
}

// Rows {fresh, held, polygon hold, histogram hold, histogram bar top}, decay 5. The histogram
// takes a fresh value above 255 - decay even when it is lower than the held one, and its bar
// then stands at the fresh value, else decay above the old held value.
TEST(SpectrumPoint, HoldRisesAtOnceAndFallsByDecay) {
    const float cases[][5] = {{100, 50, 100, 100, 155},        {50, 50, 50, 50, 205},
                              {10, 50, 45, 45, 200},           {1, 4, 1, -1, 246},
                              {-20, 3, -20, -2, 247},          {252, 254.5, 249.5, 252, 3},
                              {250, 254.5, 249.5, 249.5, -4.5}};
    for (const auto& [fresh, held, polygon, histogram, barTop] : cases) {
        SCOPED_TRACE(testing::Message() << fresh << " on " << held);
        EXPECT_EQ(holdPolygon(fresh, held, 5), polygon);
        EXPECT_EQ(holdHistogram(fresh, held, 5), histogram);
        EXPECT_EQ(histogramBarTopY(fresh, held, 5), barTop);
    }
}

}  // namespace
}  // namespace kalindor
