#pragma once

#include "engine/PipelineView.h"

namespace kalindor {

// Geometry of the spectrum graph, in pixels of the 273 x 257 graph area: y = 0 at the top,
// a value v at y = 255 - v; the widest x is 266 (point 255 on the logarithmic scale).

inline constexpr float kGraphBaselineY = 255.0f;
inline constexpr double kLogXPixelsPerNeper = 48.0;  // logarithmic X: x = ln(p) * 48

// x of spectrum point p (1..255): p on the linear scale, ln(p) * 48 on the logarithmic one.
float graphX(int p, bool xScaleLog);

// Marker colour of channel ch (0..7).
Rgb markerColour(int ch);

// y of the top of point p's histogram bar, given the fresh value r and the held value before
// this buffer's update: the fresh value when it replaces the held one, else decay above the
// old held value (while the stored held value falls by decay).
float histogramBarTopY(float fresh, float heldBefore, int decay);

// Where the polygon's next segment starts, given the end of the previous one. On the linear
// scale a previous end at or below the baseline moves the start to y = p.
float polygonStartY(float prevY, int p, bool xScaleLog);

}  // namespace kalindor
