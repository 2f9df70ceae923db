// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>

#include "core/Settings.h"

namespace kalindor {

inline constexpr int kChannelCount = 8;

enum EffectKindValue : std::int16_t { kRunningFire = 0, kRunningWave = 1, kRandomEffect = 2 };

// The program-wide set of named values. One instance lives for the whole run and is shared by
// reference; every field is read and written on the main (event-loop) thread only.
// Settings held by control positions are kept here as positions too (the *Position and *Ms
// fields), because presets store positions, not derived values; the update routines in
// ControlUpdates.h keep both sides consistent. The settings start-up leaves alone
// (DefaultBy::kCreation) are created at their defaults.
struct SharedState {
    // Per-channel settings.
    std::array<std::int16_t, kChannelCount> ChannelFrequency{};  // spectrum point 1..255
    std::array<float, kChannelCount> ChannelThreshold{};         // fraction of 255
    std::array<float, kChannelCount> ChannelGain{};              // multiplier

    // Global settings.
    std::int16_t DecaySpeed = 0;  // 1..10, also the position of Slider2
    bool XScaleLog = false;
    bool YScaleLog = false;
    bool GraphPolygon = false;
    bool AgcEnabled = defaultPosition(Setting::kAgcEnabled) != 0;  // also the state of Check1
    std::int16_t AgcSpeed = 0;  // point steps between AGC updates; a preset may hold any int16
    // 0 (off) .. 127.5
    float NoiseFilterLevel = noiseFilterLevelForPosition(defaultPosition(Setting::kNoiseFilter));
    std::int16_t PortAddress = 0;      // legacy, only stored in presets
    std::int16_t NoSignalSeconds = 0;  // 1..10
    bool AutomatonDisabled = false;
    std::int16_t EffectKind = kRunningFire;  // EffectKindValue

    // Control positions and timer periods that hold settings.
    // Slider1 = Timer1 period.
    std::int16_t ScanPeriodMs = static_cast<std::int16_t>(defaultPosition(Setting::kScanPeriod));
    std::array<std::int16_t, kChannelCount> ThresholdPosition{};  // Slider3(ch)
    std::array<std::int16_t, kChannelCount> GainPosition{};       // Slider4(ch)
    // Form4 Slider1(0).
    std::int16_t NoiseFilterPosition =
        static_cast<std::int16_t>(defaultPosition(Setting::kNoiseFilter));
    // Timer3 period.
    std::int32_t EffectIntervalMs = effectIntervalForSpeed(defaultPosition(Setting::kEffectSpeed));

    // Runtime values.
    bool SignalSeen = false;    // set by the level chain, cleared by the no-signal check
    bool NoSignalMode = false;  // owned by the effects automaton

    // Whole-state comparison, so a caller can check that an operation changed nothing.
    friend bool operator==(const SharedState&, const SharedState&) = default;
};

}  // namespace kalindor
