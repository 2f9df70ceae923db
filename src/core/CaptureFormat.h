// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace kalindor {

// The one sound format the analysis works on: unsigned 8-bit mono samples (128 = silence),
// taken as snapshots of 256 samples (8 ms).
inline constexpr int kSampleRate = 32000;                 // samples per second
inline constexpr int kBufferSamples = 256;                // samples per snapshot
inline constexpr int kSamplesPerMs = kSampleRate / 1000;  // 32

}  // namespace kalindor
