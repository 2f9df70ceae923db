// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

#include "core/PipelineView.h"
#include "dsp/SpectrumPoint.h"

namespace kalindor {

// Geometry of the spectrum graph, in pixels of the 273 x 257 graph area: y = 0 at the top,
// a value v at y = 255 - v; the widest x is 266 (point 255 on the logarithmic scale).

inline constexpr float kGraphBaselineY = 255.0f;
inline constexpr double kLogXPixelsPerNeper = 48.0;  // logarithmic X: x = ln(p) * 48

// x of spectrum point p (1..255): p on the linear scale, ln(p) * 48 on the logarithmic one.
float graphX(int p, bool xScaleLog);

// ln(p) * 48 for p = 0..255 (entry 0 is 0), computed once; for callers that need every point.
const std::array<float, 256>& logXTable();

// Marker colour of channel ch (0..7).
Rgb markerColour(int ch);

// y of the top of point p's histogram bar, given the fresh value r and the held value before
// this buffer's update: the fresh value when it replaces the held one, else decay above the
// old held value (while the stored held value falls by decay).
inline float histogramBarTopY(float fresh, float heldBefore, int decay) {
    const float d = static_cast<float>(decay);
    if (fresh >= heldBefore || kFullScale - fresh - d < 0.0f) {
        return kGraphBaselineY - fresh;
    }
    return kGraphBaselineY - heldBefore - d;
}

// Where the polygon's next segment starts, given the end of the previous one. On the linear
// scale a previous end at or below the baseline moves the start to y = p.
inline float polygonStartY(float prevY, int p, bool xScaleLog) {
    if (!xScaleLog && prevY >= kGraphBaselineY) {
        return static_cast<float>(p);
    }
    return prevY;
}

}  // namespace kalindor
