// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "core/LightOutput.h"
#include "core/PipelineView.h"
#include "core/SharedState.h"
#include "dsp/LevelChain.h"

namespace kalindor {

// The buffer pipeline: one captured snapshot -> spectrum, graph, level chain, device write.
// Holds the values the pipeline keeps from buffer to buffer. Main thread only; allocates
// nothing after construction.
class BufferPipeline {
  public:
    // All references must outlive the pipeline.
    BufferPipeline(SharedState& state, PipelineView& view, LightSink& lights);

    // Runs one buffer of 256 unsigned 8-bit samples (samples[0..255]).
    void ProcessBuffer(const std::uint8_t* samples);

    // Read-only views for the window, the CLI and the tests.
    std::uint8_t lightPattern() const { return levelChain_.lightPattern(); }
    const std::array<float, 256>& spectrumRaw() const { return SpectrumRaw_; }
    const std::array<float, 256>& spectrumHeld() const { return SpectrumHeld_; }
    const std::array<std::uint8_t, kChannelCount>& channelShown() const {
        return levelChain_.channelShown();
    }
    const std::array<bool, kChannelCount>& channelLit() const { return levelChain_.channelLit(); }
    float agcGain() const { return levelChain_.agcGain(); }
    const LevelChain& levelChain() const { return levelChain_; }

  private:
    void drawMarker(std::uint8_t channels, float x);
    void drawGraphElement(int p, float x, float fresh, float heldBefore, float heldAfter);

    SharedState& state_;
    PipelineView& view_;

    std::array<float, 256> SpectrumRaw_{};
    std::array<float, 256> SpectrumHeld_{};
    // Channels per point, rebuilt at the start of every buffer (settings cannot change while
    // a buffer runs: the pipeline lets no events in).
    std::array<std::uint8_t, 256> channelsByPoint_{};
    const std::array<float, 256>& logX_;
    float GraphPrevX_ = 0.0f;
    float GraphPrevY_ = 255.0f;
    LevelChain levelChain_;
};

}  // namespace kalindor
