#pragma once

namespace kalindor {

// Per-point steps of the spectrum on the 0..255 display scale. Values are 32-bit floats and
// are compared as such.

inline constexpr float kFullScale = 255.0f;
inline constexpr double kLogScalePerNeper = 25.0;    // logarithmic Y: v -> ln(v) * 25
inline constexpr double kLinearScaleDivisor = 70.0;  // linear Y: v -> v / 70

// Scales one transform output v to a point value: 0 becomes 1, negatives are made positive,
// then ln(v) * 25 (yScaleLog) or v / 70, capped at 255 from above only (a logarithmic value
// below 1 gives a negative point).
float scalePoint(float v, bool yScaleLog);

// Held value after one buffer, polygon graph: rises at once to the fresh value r, otherwise
// falls by decay per buffer, or drops to r when falling by decay would go below 0.
float holdPolygon(float fresh, float held, int decay);

// Held value after one buffer, histogram graph: as the polygon, except that the drop to r
// happens when 255 - r - decay < 0, i.e. whenever the fresh value is above 255 - decay.
float holdHistogram(float fresh, float held, int decay);

}  // namespace kalindor
