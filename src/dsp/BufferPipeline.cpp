// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/BufferPipeline.h"

#include <bit>

#include "dsp/GraphGeometry.h"
#include "dsp/RealFft.h"
#include "dsp/SpectrumPoint.h"

namespace kalindor {

BufferPipeline::BufferPipeline(SharedState& state, PipelineView& view, LightSink& lights)
    : state_(state), view_(view), logX_(logXTable()), levelChain_(state, view, lights) {}

void BufferPipeline::ProcessBuffer(const std::uint8_t* samples) {
    // Samples go in as they are: no offset removed, no window.
    for (int j = 0; j < kFftSize; ++j) {
        SpectrumRaw_[j] = static_cast<float>(samples[j]);
    }
    RealFft(SpectrumRaw_.data());

    view_.clearGraph();
    GraphPrevX_ = 0.0f;
    GraphPrevY_ = kGraphBaselineY;
    levelChain_.startBuffer();
    channelsByPoint(state_, channelsByPoint_);

    // Scaling touches nothing but the point itself, so all points are scaled before the
    // drawing loop: the independent logarithms overlap instead of waiting on view calls.
    const bool yScaleLog = state_.YScaleLog;
    for (int p = 1; p < kFftSize; ++p) {
        SpectrumRaw_[p] = scalePoint(SpectrumRaw_[p], yScaleLog);
    }

    for (int p = 1; p < kFftSize; ++p) {
        const float fresh = SpectrumRaw_[p];

        const std::uint8_t channels = channelsByPoint_[p];
        const float x = state_.XScaleLog ? logX_[p] : static_cast<float>(p);
        drawMarker(channels, x);

        const float heldBefore = SpectrumHeld_[p];
        const float held = state_.GraphPolygon
                               ? holdPolygon(fresh, heldBefore, state_.DecaySpeed)
                               : holdHistogram(fresh, heldBefore, state_.DecaySpeed);
        SpectrumHeld_[p] = held;
        drawGraphElement(p, x, fresh, heldBefore, held);
        if (SpectrumHeld_[p] < 0.0f) {
            SpectrumHeld_[p] = 0.0f;
        }

        levelChain_.pointStep(p, SpectrumHeld_[p], channels);
    }
    view_.graphDone();
    levelChain_.outputStep();
}

void BufferPipeline::drawMarker(std::uint8_t channels, float x) {
    if (channels == 0) {
        return;
    }
    const int first = std::countr_zero(channels);
    view_.drawLine(x, 0.0f, x, kGraphBaselineY, markerColour(first));
}

void BufferPipeline::drawGraphElement(int p, float x, float fresh, float heldBefore,
                                      float heldAfter) {
    if (state_.GraphPolygon) {
        GraphPrevY_ = polygonStartY(GraphPrevY_, p, state_.XScaleLog);
        const float y = kGraphBaselineY - heldAfter;
        view_.drawLine(GraphPrevX_, GraphPrevY_, x, y, kCyan);
        GraphPrevX_ = x;
        GraphPrevY_ = y;
    } else {
        const float top = histogramBarTopY(fresh, heldBefore, state_.DecaySpeed);
        view_.drawLine(x, kGraphBaselineY, x, top, kCyan);
    }
}

}  // namespace kalindor
