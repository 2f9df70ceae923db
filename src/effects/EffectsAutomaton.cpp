// SPDX-License-Identifier: GPL-3.0-or-later
#include "effects/EffectsAutomaton.h"

#include <array>

namespace kalindor {

namespace {

// Running-wave patterns by step (0..27): a bar that fills from channel 7 down, empties towards
// channel 0, fills back and empties towards channel 7.
constexpr std::array<std::uint8_t, 28> kWavePatterns = {
    128, 192, 224, 240, 248, 252, 254, 255, 127, 63,  31,  15,  7,   3,
    1,   3,   7,   15,  31,  63,  127, 255, 254, 252, 248, 240, 224, 192};

constexpr int kFireLastStep = 7;
constexpr int kWaveLastStep = static_cast<int>(kWavePatterns.size()) - 1;

}  // namespace

EffectsAutomaton::EffectsAutomaton(SharedState& state, PipelineView& view, LightSink& lights,
                                   Timer& timer3)
    : state_(state), view_(view), lights_(lights), timer3_(timer3) {}

void EffectsAutomaton::noSignalTick() {
    if (!state_.SignalSeen) {
        if (!state_.NoSignalMode) {
            if (!state_.AutomatonDisabled) {
                timer3_.setEnabled(true);
            }
            state_.NoSignalMode = true;
        }
        return;
    }
    if (state_.NoSignalMode) {
        timer3_.setEnabled(false);
        state_.NoSignalMode = false;
    }
    state_.SignalSeen = false;
}

void EffectsAutomaton::RunEffectStep() {
    switch (state_.EffectKind) {
        case kRunningFire: {
            EffectStep_ += FireRising_ ? 1 : -1;
            if (EffectStep_ > kFireLastStep) {
                FireRising_ = false;
                EffectStep_ = kFireLastStep;
            } else if (EffectStep_ < 0) {
                FireRising_ = true;
                EffectStep_ = 0;
            }
            EffectPattern_ = static_cast<std::int16_t>(1 << EffectStep_);
            for (int i = 0; i < kChannelCount; ++i) {
                view_.setLamp(i, i == EffectStep_ ? kGreen : kBlack);
            }
            break;
        }
        case kRunningWave: {
            // EffectStep_ stays within 0..27 here: running fire keeps it within 0..7.
            EffectPattern_ = kWavePatterns[static_cast<std::size_t>(EffectStep_)];
            for (int i = 0; i < kChannelCount; ++i) {
                const bool lit = ((EffectPattern_ >> (kChannelCount - 1 - i)) & 1) != 0;
                view_.setLamp(i, lit ? kGreen : kBlack);
            }
            if (++EffectStep_ > kWaveLastStep) {
                EffectStep_ = 0;
            }
            break;
        }
        case kRandomEffect: {
            // r uniform in [0, 1); the comparison is made on r * 10 in single precision.
            const double r =
                static_cast<double>(random_() - std::minstd_rand::min()) /
                (static_cast<double>(std::minstd_rand::max() - std::minstd_rand::min()) + 1.0);
            const float scaled = static_cast<float>(r) * 10.0f;
            state_.EffectKind = scaled > 5.0f ? kRunningWave : kRunningFire;
            break;
        }
        default:
            break;
    }
    // A step's lit channels are full on.
    LightFrame frame{static_cast<std::uint8_t>(EffectPattern_), {}, FrameKind::kStep};
    frame.levels.fill(255);
    if (const std::optional<bool> board = lights_.show(frame)) {
        view_.setDeviceStatus(*board);
    }
}

}  // namespace kalindor
