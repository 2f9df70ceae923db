#include "dsp/RealFft.h"

#include <fftw3.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <random>
#include <utility>

namespace kalindor {
namespace {

using Buffer = std::array<float, kFftSize>;

// The transform written the plain way: the twiddle recurrence runs inside every pass and the
// bit reversal is the classic counter walk. RealFft must match it bit for bit.
void recurrenceRealFft(float* data) {
    constexpr double twoPi = 6.28318530717958;
    constexpr int n = kFftSize;  // floats
    int j = 0;
    for (int i = 0; i < n; i += 2) {
        if (j > i) {
            std::swap(data[j], data[i]);
            std::swap(data[j + 1], data[i + 1]);
        }
        int m = n / 2;
        while (m >= 2 && j >= m) {
            j -= m;
            m /= 2;
        }
        j += m;
    }
    for (int mmax = 2; mmax < n; mmax *= 2) {
        const int istep = 2 * mmax;
        const double theta = twoPi / mmax;
        double wtemp = std::sin(0.5 * theta);
        const double wpr = -2.0 * wtemp * wtemp;
        const double wpi = std::sin(theta);
        double wr = 1.0;
        double wi = 0.0;
        for (int m = 0; m < mmax; m += 2) {
            for (int i = m; i < n; i += istep) {
                const int k = i + mmax;
                const double tempr = wr * data[k] - wi * data[k + 1];
                const double tempi = wr * data[k + 1] + wi * data[k];
                data[k] = static_cast<float>(data[i] - tempr);
                data[k + 1] = static_cast<float>(data[i + 1] - tempi);
                data[i] = static_cast<float>(data[i] + tempr);
                data[i + 1] = static_cast<float>(data[i + 1] + tempi);
            }
            wtemp = wr;
            wr = wtemp * wpr - wi * wpi + wr;
            wi = wi * wpr + wtemp * wpi + wi;
        }
    }
    const double theta = twoPi / n;
    double wtemp = std::sin(0.5 * theta);
    const double wpr = -2.0 * wtemp * wtemp;
    const double wpi = std::sin(theta);
    double wr = 1.0 + wpr;
    double wi = wpi;
    for (int m = 1; m <= n / 4; ++m) {
        const int i1 = 2 * m;
        const int i2 = i1 + 1;
        const int i3 = n - 2 * m;
        const int i4 = i3 + 1;
        const double h1r = 0.5 * (static_cast<double>(data[i1]) + data[i3]);
        const double h1i = 0.5 * (static_cast<double>(data[i2]) - data[i4]);
        const double h2r = 0.5 * (static_cast<double>(data[i2]) + data[i4]);
        const double h2i = -0.5 * (static_cast<double>(data[i1]) - data[i3]);
        data[i1] = static_cast<float>(h1r + wr * h2r - wi * h2i);
        data[i2] = static_cast<float>(h1i + wr * h2i + wi * h2r);
        data[i3] = static_cast<float>(h1r - wr * h2r + wi * h2i);
        data[i4] = static_cast<float>(-h1i + wr * h2i + wi * h2r);
        wtemp = wr;
        wr = wtemp * wpr - wi * wpi + wr;
        wi = wi * wpr + wtemp * wpi + wi;
    }
    const double dc = data[0];
    data[0] = static_cast<float>(dc + data[1]);
    data[1] = static_cast<float>(dc - data[1]);
}

Buffer randomSamples(std::mt19937& rng) {
    std::uniform_int_distribution<int> byte(0, 255);
    Buffer b{};
    for (float& v : b) {
        v = static_cast<float>(byte(rng));
    }
    return b;
}

// FFTW's r2c uses e^(-i...), so its imaginary parts are the negatives of RealFft's.
Buffer fftwPacked(const Buffer& input) {
    std::array<float, kFftSize> in{};
    std::array<fftwf_complex, kFftSize / 2 + 1> out{};
    fftwf_plan plan = fftwf_plan_dft_r2c_1d(kFftSize, in.data(), out.data(), FFTW_ESTIMATE);
    std::copy(input.begin(), input.end(), in.begin());
    fftwf_execute(plan);
    fftwf_destroy_plan(plan);
    Buffer packed{};
    packed[0] = out[0][0];
    packed[1] = out[kFftSize / 2][0];
    for (int k = 1; k < kFftSize / 2; ++k) {
        packed[2 * k] = out[k][0];
        packed[2 * k + 1] = -out[k][1];
    }
    return packed;
}

// Largest modulus is 256 * 255; float rounding over eight stages stays far below 0.1 there,
// while a wrong index, sign or twiddle is off by whole sample units or more.
constexpr float kTolerance = 0.1f;

TEST(RealFft, MatchesFftwOnRandomByteBuffers) {
    std::mt19937 rng(12345);
    for (int trial = 0; trial < 200; ++trial) {
        Buffer data = randomSamples(rng);
        const Buffer expected = fftwPacked(data);
        RealFft(data.data());
        for (int p = 0; p < kFftSize; ++p) {
            ASSERT_NEAR(data[p], expected[p], kTolerance) << "trial " << trial << " point " << p;
        }
    }
}

TEST(RealFft, FullScaleCosineOnBinEightGivesPointSixteen) {
    Buffer data{};
    for (int j = 0; j < kFftSize; ++j) {
        data[j] = static_cast<float>(128.0 + 127.0 * std::cos(2.0 * M_PI * 8.0 * j / kFftSize));
    }
    RealFft(data.data());
    EXPECT_NEAR(data[16], 16256.0f, 0.05f);
    EXPECT_NEAR(data[17], 0.0f, 0.05f);
    EXPECT_NEAR(data[0], 128.0f * 256.0f, 0.05f);
}

TEST(RealFft, TablesReproduceTheRecurrenceBitForBit) {
    std::mt19937 rng(777);
    std::uniform_real_distribution<float> any(-1000.0f, 1000.0f);
    for (int trial = 0; trial < 300; ++trial) {
        Buffer data{};
        if (trial % 2 == 0) {
            data = randomSamples(rng);
        } else {
            for (float& v : data) {
                v = any(rng);
            }
        }
        Buffer reference = data;
        RealFft(data.data());
        recurrenceRealFft(reference.data());
        ASSERT_EQ(std::memcmp(data.data(), reference.data(), sizeof(data)), 0) << "trial " << trial;
    }
}

}  // namespace
}  // namespace kalindor
