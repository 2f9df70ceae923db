// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/RealFft.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace kalindor {

namespace {

constexpr double kTwoPi = 6.28318530717958;     // the constant the transform is defined with
constexpr int kComplexCount = kFftSize / 2;     // 128 pairs
constexpr int kSplitCount = kComplexCount / 2;  // split step pairs m = 1..64

// Advances (wr, wi) by one step of the recurrence wr <- wr*wpr - wi*wpi + wr,
// wi <- wi*wpr + wr_old*wpi + wi.
void advance(double& wr, double& wi, double wpr, double wpi) {
    const double wtemp = wr;
    wr = wtemp * wpr - wi * wpi + wr;
    wi = wi * wpr + wtemp * wpi + wi;
}

// Recurrence step constants for angle theta: wpr = -2 sin^2(theta/2), wpi = sin(theta).
void stepConstants(double theta, double& wpr, double& wpi) {
    const double wtemp = std::sin(0.5 * theta);
    wpr = -2.0 * wtemp * wtemp;
    wpi = std::sin(theta);
}

// Twiddle values of the recurrence, computed once, kept as separate real and imaginary arrays.
// Entry block + m (m = 0..block-1) is the factor for offset m in the pass with the given block
// size (1, 2, ..., 64 pairs); splitR/splitI[m - 1] is the factor for pair m (1..64) of the
// split step. reversed[k] is the 7-bit bit reversal of k.
struct TwiddleTables {
    std::array<double, kComplexCount> wr{};
    std::array<double, kComplexCount> wi{};
    std::array<double, kSplitCount> splitR{};
    std::array<double, kSplitCount> splitI{};
    std::array<std::uint8_t, kComplexCount> reversed{};

    TwiddleTables() {
        for (int block = 1; block < kComplexCount; block *= 2) {
            double wpr = 0.0;
            double wpi = 0.0;
            stepConstants(kTwoPi / static_cast<double>(2 * block), wpr, wpi);
            double r = 1.0;
            double i = 0.0;
            for (int m = 0; m < block; ++m) {
                wr[block + m] = r;
                wi[block + m] = i;
                advance(r, i, wpr, wpi);
            }
        }
        double wpr = 0.0;
        double wpi = 0.0;
        stepConstants(kTwoPi / static_cast<double>(kFftSize), wpr, wpi);
        double r = 1.0 + wpr;
        double i = wpi;
        for (int q = 0; q < kSplitCount; ++q) {
            splitR[q] = r;
            splitI[q] = i;
            advance(r, i, wpr, wpi);
        }
        for (int k = 0; k < kComplexCount; ++k) {
            int bits = 0;
            for (int bit = 0; bit < 7; ++bit) {
                bits |= ((k >> bit) & 1) << (6 - bit);
            }
            reversed[k] = static_cast<std::uint8_t>(bits);
        }
    }
};

const TwiddleTables& tables() {
    static const TwiddleTables instance;
    return instance;
}

using Half = std::array<float, kComplexCount>;
using Quarter = std::array<float, kSplitCount>;

// One radix-2 butterfly on pair a (lower) and pair b = a + block with twiddle (wr, wi):
// t = w * b, b <- a - t, a <- a + t; products and sums in double, results stored as float.
inline void butterfly(float& ar, float& ai, float& br, float& bi, double wr, double wi) {
    const double xr = br;
    const double xi = bi;
    const double tempr = wr * xr - wi * xi;
    const double tempi = wr * xi + wi * xr;
    const double sr = ar;
    const double si = ai;
    br = static_cast<float>(sr - tempr);
    bi = static_cast<float>(si - tempi);
    ar = static_cast<float>(sr + tempr);
    ai = static_cast<float>(si + tempi);
}

// One butterfly pass over the 128 pairs held as separate real and imaginary parts. Every
// product and sum is formed in double and stored as float, exactly as the in-place pair
// layout would. Block is a constant so that the inner loop has a fixed trip count.
template <int Block>
void butterflyPass(Half& re, Half& im, const TwiddleTables& t) {
    for (int g = 0; g < kComplexCount; g += 2 * Block) {
        for (int m = 0; m < Block; ++m) {
            const int i = g + m;
            const int j = i + Block;
            butterfly(re[i], im[i], re[j], im[j], t.wr[Block + m], t.wi[Block + m]);
        }
    }
}

}  // namespace

void RealFft(float* data) {
    const TwiddleTables& t = tables();

    // Bit-reversal reordering of the pairs into separate real and imaginary halves, fused
    // with the passes of block sizes 1 and 2, which stay within groups of four pairs.
    Half re;
    Half im;
    for (int g = 0; g < kComplexCount; g += 4) {
        for (int e = 0; e < 4; ++e) {
            const int source = 2 * t.reversed[g + e];
            re[g + e] = data[source];
            im[g + e] = data[source + 1];
        }
        float* const r = re.data() + g;
        float* const i = im.data() + g;
        butterfly(r[0], i[0], r[1], i[1], t.wr[1], t.wi[1]);
        butterfly(r[2], i[2], r[3], i[3], t.wr[1], t.wi[1]);
        butterfly(r[0], i[0], r[2], i[2], t.wr[2], t.wi[2]);
        butterfly(r[1], i[1], r[3], i[3], t.wr[3], t.wi[3]);
    }
    butterflyPass<4>(re, im, t);
    butterflyPass<8>(re, im, t);
    butterflyPass<16>(re, im, t);
    butterflyPass<32>(re, im, t);
    butterflyPass<64>(re, im, t);

    // Split step: pair m (1..64) with pair 128 - m, over contiguous copies so that it
    // vectorises. Pairs m and 128 - m are written by iteration m only, except pair 64, which
    // meets itself: its second result (the 128 - m one) is the one that stays.
    constexpr double kC1 = 0.5;  // the split step's two halving factors
    constexpr double kC2 = -0.5;
    Quarter upR;
    Quarter upI;
    Quarter downR;
    Quarter downI;
    for (int q = 0; q < kSplitCount; ++q) {
        upR[q] = re[q + 1];
        upI[q] = im[q + 1];
        downR[q] = re[kComplexCount - 1 - q];
        downI[q] = im[kComplexCount - 1 - q];
    }
    Quarter lowR;
    Quarter lowI;
    Quarter highR;
    Quarter highI;
    for (int q = 0; q < kSplitCount; ++q) {
        const double wr = t.splitR[q];
        const double wi = t.splitI[q];
        const double h1r = kC1 * (static_cast<double>(upR[q]) + downR[q]);
        const double h1i = kC1 * (static_cast<double>(upI[q]) - downI[q]);
        const double h2r = -kC2 * (static_cast<double>(upI[q]) + downI[q]);
        const double h2i = kC2 * (static_cast<double>(upR[q]) - downR[q]);
        lowR[q] = static_cast<float>(h1r + wr * h2r - wi * h2i);
        lowI[q] = static_cast<float>(h1i + wr * h2i + wi * h2r);
        highR[q] = static_cast<float>(h1r - wr * h2r + wi * h2i);
        highI[q] = static_cast<float>(-h1i + wr * h2i + wi * h2r);
    }
    for (int q = 0; q < kSplitCount; ++q) {
        const std::ptrdiff_t m = q + 1;
        const std::ptrdiff_t n = kComplexCount - m;
        data[2 * m] = lowR[q];
        data[2 * m + 1] = lowI[q];
        data[2 * n] = highR[q];
        data[2 * n + 1] = highI[q];
    }

    const double dc = re[0];
    data[0] = static_cast<float>(dc + im[0]);
    data[1] = static_cast<float>(dc - im[0]);
}

}  // namespace kalindor
