// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/ControlUpdates.h"

#include <algorithm>

namespace kalindor {

std::string updateSetting(SharedState& state, Setting id, int ch, int position) {
    const SettingInfo& info = settingInfo(id);
    position = std::clamp(position, info.low, info.high);
    if (!info.perChannel || (ch >= 0 && ch < kChannelCount)) {
        info.store(state, ch, position);
    }
    return info.label != nullptr ? info.label(position) : std::string();
}

std::string setScanPeriod(SharedState& state, int ms) {
    return updateSetting(state, Setting::kScanPeriod, 0, ms);
}

void setDecaySpeed(SharedState& state, int position) {
    updateSetting(state, Setting::kDecaySpeed, 0, position);
}

std::string setThreshold(SharedState& state, int ch, int position) {
    return updateSetting(state, Setting::kThreshold, ch, position);
}

std::string setGain(SharedState& state, int ch, int position) {
    return updateSetting(state, Setting::kGain, ch, position);
}

std::string setFrequency(SharedState& state, int ch, int position) {
    return updateSetting(state, Setting::kFrequency, ch, position);
}

std::string setNoiseFilter(SharedState& state, int position) {
    return updateSetting(state, Setting::kNoiseFilter, 0, position);
}

std::string setAgcSpeed(SharedState& state, int value) {
    return updateSetting(state, Setting::kAgcSpeed, 0, value);
}

std::string setNoSignalSeconds(SharedState& state, int seconds) {
    return updateSetting(state, Setting::kNoSignalSeconds, 0, seconds);
}

void setEffectSpeed(SharedState& state, int tenths) {
    updateSetting(state, Setting::kEffectSpeed, 0, tenths);
}

namespace {

// Puts every setting whose default `step` sets back to its default position, channel by
// channel for the per-channel ones.
void applyDefaults(SharedState& state, DefaultBy step) {
    for (const SettingInfo& info : allSettings()) {
        const bool applies = info.defaultBy == DefaultBy::kStartupAndReset ||
                             (step == DefaultBy::kStartup && info.defaultBy == DefaultBy::kStartup);
        if (!applies) {
            continue;
        }
        for (int ch = 0; ch < (info.perChannel ? kChannelCount : 1); ++ch) {
            info.store(state, ch, defaultPosition(info.id, ch));
        }
    }
}

}  // namespace

void applyStartupDefaults(SharedState& state) {
    state.SignalSeen = false;
    applyDefaults(state, DefaultBy::kStartup);
    state.EffectKind = kRunningFire;
}

void resetSettings(SharedState& state) {
    applyDefaults(state, DefaultBy::kStartupAndReset);
}

}  // namespace kalindor
