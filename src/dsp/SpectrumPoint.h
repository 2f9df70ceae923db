// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cmath>

#include "dsp/NaturalLog.h"

namespace kalindor {

// Per-point steps of the spectrum on the 0..255 display scale. Values are 32-bit floats and
// are compared as such. Inline: the pipeline runs them 255 times per buffer.

inline constexpr float kFullScale = 255.0f;
inline constexpr double kLogScalePerNeper = 25.0;    // logarithmic Y: v -> ln(v) * 25
inline constexpr double kLinearScaleDivisor = 70.0;  // linear Y: v -> v / 70

// Scales one transform output v to a point value: 0 becomes 1, negatives are made positive,
// then ln(v) * 25 (yScaleLog) or v / 70, both in double and rounded to float, capped at 255
// from above only (a logarithmic value below 1 gives a negative point). v must be finite, as
// every transform output is.
inline float scalePoint(float v, bool yScaleLog) {
    v = std::fabs(v);
    v = (v == 0.0f) ? 1.0f : v;
    if (yScaleLog) {
        v = static_cast<float>(naturalLog(v) * kLogScalePerNeper);
    } else {
        v = static_cast<float>(static_cast<double>(v) / kLinearScaleDivisor);
    }
    return (v > kFullScale) ? kFullScale : v;
}

// Held value after one buffer, polygon graph: rises at once to the fresh value, otherwise falls
// by decay per buffer, or drops to the fresh value when falling by decay would go below 0.
inline float holdPolygon(float fresh, float held, int decay) {
    const float fallen = held - static_cast<float>(decay);
    const bool takeFresh = (fresh >= held) | (fallen < 0.0f);
    return takeFresh ? fresh : fallen;
}

// Held value after one buffer, histogram graph: as the polygon, except that the drop to the
// fresh value happens when 255 - fresh - decay < 0, i.e. whenever the fresh value is above
// 255 - decay, even when it is below the held value.
inline float holdHistogram(float fresh, float held, int decay) {
    const float d = static_cast<float>(decay);
    const float fallen = held - d;
    const bool takeFresh = (fresh >= held) | (kFullScale - fresh - d < 0.0f);
    return takeFresh ? fresh : fallen;
}

}  // namespace kalindor
