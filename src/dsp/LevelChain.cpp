// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/LevelChain.h"

#include "core/Rounding.h"
#include "dsp/SpectrumPoint.h"

namespace kalindor {

namespace {

// AGC maps the loudest pre-gain level of a period to 0.7 of full scale.
constexpr double kAgcFullScale = 255.0;
constexpr double kAgcTargetFraction = 0.7;

// Whole value 0..255 a level bar takes for a level, halves rounded to even.
std::uint8_t barValue(float value) {
    if (!(value > 0.0f)) {
        return 0;
    }
    if (value >= kFullScale) {
        return 255;
    }
    return static_cast<std::uint8_t>(roundHalfEven(value));
}

}  // namespace

std::uint8_t channelsAtPoint(const SharedState& state, int p) {
    std::uint8_t channels = 0;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        if (state.ChannelFrequency[ch] == p) {
            channels |= static_cast<std::uint8_t>(1u << ch);
        }
    }
    return (p >= 1 && p <= 255) ? channels : 0;
}

void channelsByPoint(const SharedState& state, std::array<std::uint8_t, 256>& byPoint) {
    byPoint.fill(0);
    for (int ch = 0; ch < kChannelCount; ++ch) {
        const int p = state.ChannelFrequency[ch];
        if (p >= 1 && p <= 255) {
            byPoint[static_cast<std::size_t>(p)] |= static_cast<std::uint8_t>(1u << ch);
        }
    }
}

LevelChain::LevelChain(SharedState& state, PipelineView& view, LightSink& lights)
    : state_(state), view_(view), lights_(lights) {}

void LevelChain::runChannels(int p, std::uint8_t channels, bool agc) {
    float& level = SpectrumLevel_[static_cast<std::size_t>(p) & 255u];
    for (int ch = 0; channels != 0; ++ch, channels >>= 1) {
        if ((channels & 1u) == 0) {
            continue;
        }
        if (agc) {
            agcChannel(ch, level);
        } else {
            plainChannel(ch, level);
        }
    }
}

void LevelChain::agcChannel(int ch, float& level) {
    if (AgcPeak_ < level) {
        AgcPeak_ = level;
    }
    level = state_.ChannelGain[ch] * level;
    if (level > kFullScale) {
        level = kFullScale;
    }
    if (level < state_.NoiseFilterLevel) {
        level = 0.0f;
    }
    // e may exceed 255; the bar is limited, the threshold comparison is not.
    const float e = AgcGain_ * level;
    if (e > kFullScale) {
        if (ChannelShown_[ch] != 255) {
            view_.setLevelBar(ch, 255);
            ChannelShown_[ch] = 255;
        }
    } else {
        showLevel(ch, e);
    }
    decide(ch, e >= state_.ChannelThreshold[ch] * kFullScale, kWhite);
}

void LevelChain::plainChannel(int ch, float& level) {
    level = state_.ChannelGain[ch] * level;
    if (level > kFullScale) {
        level = kFullScale;
    }
    showLevel(ch, level);
    decide(ch, level >= state_.ChannelThreshold[ch] * kFullScale, kYellow);
}

void LevelChain::showLevel(int ch, float value) {
    if (value != static_cast<float>(ChannelShown_[ch])) {
        const std::uint8_t shown = barValue(value);
        view_.setLevelBar(ch, shown);
        ChannelShown_[ch] = shown;
    }
}

void LevelChain::decide(int ch, bool lit, Rgb litColour) {
    if (lit) {
        LightPattern_ = static_cast<std::uint8_t>(LightPattern_ | (1u << ch));
        if (!ChannelLit_[ch]) {
            view_.setLamp(ch, litColour);
            ChannelLit_[ch] = true;
        }
    } else if (ChannelLit_[ch]) {
        view_.setLamp(ch, kBlack);
        ChannelLit_[ch] = false;
    }
}

void LevelChain::updateAgcGain() {
    AgcCounter_ = 0;
    if (AgcPeak_ == 0.0f) {
        AgcPeak_ = 1.0f;
    }
    AgcGain_ =
        static_cast<float>(kAgcFullScale / static_cast<double>(AgcPeak_) * kAgcTargetFraction);
    AgcPeak_ = 0.0f;
}

void LevelChain::outputStep() {
    if (const std::optional<bool> board = lights_.show({LightPattern_, ChannelShown_})) {
        view_.setDeviceStatus(*board);
    }
    if (LightPattern_ != LastPattern_.value_or(0) && LightPattern_ != 0) {
        state_.SignalSeen = true;
    }
    LastPattern_ = LightPattern_;
}

}  // namespace kalindor
