// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "core/LightOutput.h"
#include "core/PipelineView.h"
#include "core/SharedState.h"

namespace kalindor {

// Bit ch set when ChannelFrequency(ch) == p. A frequency outside 1..255 matches no point.
std::uint8_t channelsAtPoint(const SharedState& state, int p);

// The same for every point at once: byPoint[p] = channelsAtPoint(state, p) for p = 0..255.
void channelsByPoint(const SharedState& state, std::array<std::uint8_t, 256>& byPoint);

// The per-channel level chain: gain, optional automatic level control (AGC) with noise filter,
// threshold, level bar, lamp, the light pattern and the frame it hands to the lights. Keeps the
// values that live from buffer to buffer for the whole run (lamp states, shown bar values, AGC
// state, the last pattern). Main thread only; no allocation.
class LevelChain {
  public:
    // All references must outlive the chain.
    LevelChain(SharedState& state, PipelineView& view, LightSink& lights);

    // Start of a buffer: LightPattern = 0.
    void startBuffer() { LightPattern_ = 0; }

    // Point p (1..255, increasing within a buffer) with its held level (>= 0, 0..255) and the
    // channels whose frequency is p (bit ch = channel ch, processed in channel order).
    // Inline because most points have no channel: then only the level is kept and the AGC
    // counter moves.
    void pointStep(int p, float held, std::uint8_t channels) {
        SpectrumLevel_[static_cast<std::size_t>(p) & 255u] = held;
        const bool agc = state_.AgcEnabled;
        if (channels != 0) {
            runChannels(p, channels, agc);
        }
        // The AGC counts every point step while it is on, channel point or not.
        if (agc && ++AgcCounter_ >= state_.AgcSpeed) {
            updateAgcGain();
        }
    }

    // After point 255: hands the buffer's frame (pattern, level bars' values) to the lights and
    // their board answer, if any, to the view's status; sets SignalSeen for a new non-zero
    // pattern; remembers the pattern as LastPattern.
    void outputStep();

    std::uint8_t lightPattern() const { return LightPattern_; }
    std::optional<std::uint8_t> lastPattern() const { return LastPattern_; }
    const std::array<float, 256>& spectrumLevel() const { return SpectrumLevel_; }
    const std::array<std::uint8_t, kChannelCount>& channelShown() const { return ChannelShown_; }
    const std::array<bool, kChannelCount>& channelLit() const { return ChannelLit_; }
    float agcGain() const { return AgcGain_; }
    float agcPeak() const { return AgcPeak_; }
    std::int16_t agcCounter() const { return AgcCounter_; }

  private:
    void runChannels(int p, std::uint8_t channels, bool agc);
    void agcChannel(int ch, float& level);
    void plainChannel(int ch, float& level);
    void updateAgcGain();
    void showLevel(int ch, float value);
    void decide(int ch, bool lit, Rgb litColour);

    SharedState& state_;
    PipelineView& view_;
    LightSink& lights_;

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
