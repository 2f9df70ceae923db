// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "core/SharedState.h"

namespace kalindor {

// The update routines of the controls that hold settings. Each one takes a control position,
// clamps it to the control's range (as a slider would), writes the position and the engine
// value derived from it into the state, and returns the control's label text (UTF-8; "" for a
// control without a label). For a per-channel setting a channel outside 0..7 changes nothing.
// The window, the CLI and the preset reader all go through these, so a preset moves a setting
// exactly as a user's move of the control does.
std::string updateSetting(SharedState& state, Setting id, int ch, int position);

std::string setScanPeriod(SharedState& state, int ms);               // Slider1 -> "50ms"
void setDecaySpeed(SharedState& state, int position);                // Slider2
std::string setThreshold(SharedState& state, int ch, int position);  // Slider3(ch) -> "55%"
std::string setGain(SharedState& state, int ch, int position);       // Slider4(ch) -> "100%"
std::string setFrequency(SharedState& state, int ch, int position);  // Form2 -> "62.5 Гц"
std::string setNoiseFilter(SharedState& state, int position);        // Form4 -> "Выкл" / "7%"
std::string setAgcSpeed(SharedState& state, int value);              // Form5 -> "5000"
std::string setNoSignalSeconds(SharedState& state, int seconds);     // Form6 Slider1 -> "1"
void setEffectSpeed(SharedState& state, int tenths);                 // Form6 Slider2

// Start-up defaults: every setting that start-up sets (DefaultBy::kStartup and
// kStartupAndReset), on a state that holds the values it was created with; also clears
// SignalSeen and selects the running fire effect.
void applyStartupDefaults(SharedState& state);

// The reset command's defaults (DefaultBy::kStartupAndReset); leaves the scan period, AGC
// switch, noise filter and automaton settings alone.
void resetSettings(SharedState& state);

}  // namespace kalindor
