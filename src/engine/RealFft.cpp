#include "engine/RealFft.h"

#include <array>
#include <cmath>
#include <utility>

namespace kalindor {

namespace {

constexpr double kTwoPi = 6.28318530717958;     // the constant the transform is defined with
constexpr int kComplexCount = kFftSize / 2;     // 128 pairs
constexpr int kSplitCount = kComplexCount / 2;  // split step pairs m = 1..64

struct Twiddle {
    double wr;
    double wi;
};

// Advances (wr, wi) by one step of the recurrence wr <- wr*wpr - wi*wpi + wr,
// wi <- wi*wpr + wr_old*wpi + wi.
void advance(Twiddle& w, double wpr, double wpi) {
    const double wtemp = w.wr;
    w.wr = wtemp * wpr - w.wi * wpi + w.wr;
    w.wi = w.wi * wpr + wtemp * wpi + w.wi;
}

// Recurrence step constants for angle theta: wpr = -2 sin^2(theta/2), wpi = sin(theta).
void stepConstants(double theta, double& wpr, double& wpi) {
    const double wtemp = std::sin(0.5 * theta);
    wpr = -2.0 * wtemp * wtemp;
    wpi = std::sin(theta);
}

// Twiddle values of the recurrence, computed once. butterfly[block + m] is the factor used
// for offset m (0..block-1) in the pass with the given block size (1, 2, ..., 64 pairs);
// split[m] is the factor used for pair m (1..64) of the split step.
struct TwiddleTables {
    std::array<Twiddle, kComplexCount> butterfly{};
    std::array<Twiddle, kSplitCount + 1> split{};
    // Pairs (i, j), i < j, exchanged by the bit-reversal reordering of 128 elements.
    std::array<std::pair<int, int>, kComplexCount> swaps{};
    int swapCount = 0;

    TwiddleTables() {
        for (int block = 1; block < kComplexCount; block *= 2) {
            double wpr = 0.0;
            double wpi = 0.0;
            stepConstants(kTwoPi / static_cast<double>(2 * block), wpr, wpi);
            Twiddle w{1.0, 0.0};
            for (int m = 0; m < block; ++m) {
                butterfly[block + m] = w;
                advance(w, wpr, wpi);
            }
        }
        double wpr = 0.0;
        double wpi = 0.0;
        stepConstants(kTwoPi / static_cast<double>(kFftSize), wpr, wpi);
        Twiddle w{1.0 + wpr, wpi};
        for (int m = 1; m <= kSplitCount; ++m) {
            split[m] = w;
            advance(w, wpr, wpi);
        }
        for (int i = 0; i < kComplexCount; ++i) {
            int reversed = 0;
            for (int bit = 0; bit < 7; ++bit) {
                reversed |= ((i >> bit) & 1) << (6 - bit);
            }
            if (reversed > i) {
                swaps[swapCount++] = {i, reversed};
            }
        }
    }
};

const TwiddleTables& tables() {
    static const TwiddleTables instance;
    return instance;
}

// One radix-2 butterfly on pairs i and j = i + block with twiddle w.
inline void butterfly(float* data, int i, int j, Twiddle w) {
    const double re = data[2 * j];
    const double im = data[2 * j + 1];
    const double tempr = w.wr * re - w.wi * im;
    const double tempi = w.wr * im + w.wi * re;
    data[2 * j] = static_cast<float>(data[2 * i] - tempr);
    data[2 * j + 1] = static_cast<float>(data[2 * i + 1] - tempi);
    data[2 * i] = static_cast<float>(data[2 * i] + tempr);
    data[2 * i + 1] = static_cast<float>(data[2 * i + 1] + tempi);
}

}  // namespace

void RealFft(float* data) {
    const TwiddleTables& t = tables();

    for (int s = 0; s < t.swapCount; ++s) {
        const auto [i, j] = t.swaps[s];
        std::swap(data[2 * i], data[2 * j]);
        std::swap(data[2 * i + 1], data[2 * j + 1]);
    }

    for (int block = 1; block < kComplexCount; block *= 2) {
        const int step = 2 * block;
        for (int m = 0; m < block; ++m) {
            const Twiddle w = t.butterfly[block + m];
            for (int i = m; i < kComplexCount; i += step) {
                butterfly(data, i, i + block, w);
            }
        }
    }

    // Split step: pairs m and 128 - m; pair 64 meets itself, so its second write wins.
    constexpr double c1 = 0.5;
    constexpr double c2 = -0.5;
    for (int m = 1; m <= kSplitCount; ++m) {
        const Twiddle w = t.split[m];
        const int i1 = 2 * m;
        const int i2 = i1 + 1;
        const int i3 = kFftSize - 2 * m;
        const int i4 = i3 + 1;
        const double h1r = c1 * (static_cast<double>(data[i1]) + data[i3]);
        const double h1i = c1 * (static_cast<double>(data[i2]) - data[i4]);
        const double h2r = -c2 * (static_cast<double>(data[i2]) + data[i4]);
        const double h2i = c2 * (static_cast<double>(data[i1]) - data[i3]);
        data[i1] = static_cast<float>(h1r + w.wr * h2r - w.wi * h2i);
        data[i2] = static_cast<float>(h1i + w.wr * h2i + w.wi * h2r);
        data[i3] = static_cast<float>(h1r - w.wr * h2r + w.wi * h2i);
        data[i4] = static_cast<float>(-h1i + w.wr * h2i + w.wi * h2r);
    }

    const double dc = data[0];
    data[0] = static_cast<float>(dc + data[1]);
    data[1] = static_cast<float>(dc - data[1]);
}

}  // namespace kalindor
