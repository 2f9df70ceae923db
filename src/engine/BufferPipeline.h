#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "engine/PipelineView.h"
#include "engine/SharedState.h"
#include "output/LightDevice.h"

namespace kalindor {

// The buffer pipeline: one captured snapshot -> spectrum, graph, level chain, device write.
// Holds the values the pipeline keeps from buffer to buffer. Main thread only; allocates
// nothing after construction.
class BufferPipeline {
public:
    // All references must outlive the pipeline.
    BufferPipeline(SharedState& state, PipelineView& view, LightDevice& device);

    // Runs one buffer of 256 unsigned 8-bit samples (samples[0..255]).
    void ProcessBuffer(const std::uint8_t* samples);

    // Read-only views for the window, the CLI and the tests.
    std::uint8_t lightPattern() const { return LightPattern_; }
    const std::array<float, 256>& spectrumRaw() const { return SpectrumRaw_; }
    const std::array<float, 256>& spectrumHeld() const { return SpectrumHeld_; }
    const std::array<std::uint8_t, kChannelCount>& channelShown() const { return ChannelShown_; }
    const std::array<bool, kChannelCount>& channelLit() const { return ChannelLit_; }
    float agcGain() const { return AgcGain_; }

private:
    SharedState& state_;
    PipelineView& view_;
    LightDevice& device_;

    std::array<float, 256> SpectrumRaw_{};
    std::array<float, 256> SpectrumHeld_{};
    std::array<float, 256> SpectrumLevel_{};
    std::array<bool, kChannelCount> ChannelLit_{};
    std::array<std::uint8_t, kChannelCount> ChannelShown_{};
    float AgcPeak_ = 0.0f;
    float AgcGain_ = 0.0f;
    std::int16_t AgcCounter_ = 0;
    std::uint8_t LightPattern_ = 0;
    std::optional<std::uint8_t> LastPattern_;
};

}  // namespace kalindor
