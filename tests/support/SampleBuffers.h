// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "core/SoundInput.h"

namespace kalindor::test {

using SampleBuffer = std::array<std::uint8_t, kBufferSamples>;

// A full-scale cosine on FFT bin k (k * 125 Hz), starting at its peak: with the start-up
// settings it lights the channel whose frequency is point 2k (bin 8 -> point 16 -> channel 3).
inline SampleBuffer cosineOnBin(int k) {
    SampleBuffer samples{};
    for (int j = 0; j < kBufferSamples; ++j) {
        samples[j] = static_cast<std::uint8_t>(
            std::lround(128.0 + 127.0 * std::cos(2.0 * std::numbers::pi * k * j / 256.0)));
    }
    return samples;
}

inline SampleBuffer silenceBuffer() {
    SampleBuffer samples{};
    samples.fill(128);
    return samples;
}

// Start-up channel point 16 (bin 8) belongs to channel 3.
inline constexpr int kBinOfChannel3 = 8;
inline constexpr std::uint8_t kChannel3Bit = 1u << 3;

}  // namespace kalindor::test
