// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/GraphGeometry.h"

#include <array>
#include <cmath>

#include "core/LightOutput.h"
#include "core/SharedState.h"

namespace kalindor {

namespace {

constexpr int kPointCount = 256;

}  // namespace

const std::array<float, 256>& logXTable() {
    static const std::array<float, kPointCount> table = [] {
        std::array<float, kPointCount> x{};
        for (int p = 1; p < kPointCount; ++p) {
            x[p] = static_cast<float>(std::log(static_cast<double>(p)) * kLogXPixelsPerNeper);
        }
        return x;
    }();
    return table;
}

float graphX(int p, bool xScaleLog) {
    if (!xScaleLog) {
        return static_cast<float>(p);
    }
    if (p < 1 || p >= kPointCount) {
        return 0.0f;
    }
    return logXTable()[p];
}

Rgb markerColour(int ch) {
    if (ch < 0 || ch >= kChannelCount) {
        return kBlack;
    }
    return kDefaultChannelColours[ch];
}

}  // namespace kalindor
