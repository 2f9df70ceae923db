#include "dsp/RealFft.h"

#include <fftw3.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

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

TEST(RealFft, FullScaleCosineOnBinEightGivesPointSixteen) {
    std::array<float, kFftSize> data{};
    for (int j = 0; j < kFftSize; ++j) {
        data[j] = static_cast<float>(128.0 + 127.0 * std::cos(2.0 * M_PI * 8.0 * j / kFftSize));
    }
    RealFft(data.data());
    EXPECT_NEAR(data[16], 16256.0f, 0.05f);
    EXPECT_NEAR(data[17], 0.0f, 0.05f);
    EXPECT_NEAR(data[0], 128.0f * 256.0f, 0.05f);
}

}  // namespace
}  // namespace kalindor
