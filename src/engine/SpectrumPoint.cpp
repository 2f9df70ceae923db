#include "engine/SpectrumPoint.h"

#include <cmath>

namespace kalindor {

float scalePoint(float v, bool yScaleLog) {
    if (v == 0.0f) {
        v = 1.0f;
    }
    if (v < 0.0f) {
        v = -v;
    }
    if (yScaleLog) {
        v = static_cast<float>(std::log(static_cast<double>(v)) * kLogScalePerNeper);
    } else {
        v = static_cast<float>(static_cast<double>(v) / kLinearScaleDivisor);
    }
    if (v > kFullScale) {
        v = kFullScale;
    }
    return v;
}

float holdPolygon(float fresh, float held, int decay) {
    const float d = static_cast<float>(decay);
    if (fresh >= held) {
        return fresh;
    }
    if (held - d < 0.0f) {
        return fresh;
    }
    return held - d;
}

float holdHistogram(float fresh, float held, int decay) {
    const float d = static_cast<float>(decay);
    if (fresh >= held) {
        return fresh;
    }
    if (kFullScale - fresh - d < 0.0f) {
        return fresh;
    }
    return held - d;
}

}  // namespace kalindor
