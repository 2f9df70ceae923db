#pragma once

#include <string>

#include "core/SharedState.h"

namespace kalindor {

// The update routines of the controls that hold settings. Each one takes a control position,
// clamps it to the control's range (as a slider would), writes the position and the engine
// value derived from it into the state, and returns the control's label text (UTF-8).
// The window, the CLI and the preset reader all go through these, so a preset moves a setting
// exactly as a user's move of the control does.

std::string setScanPeriod(SharedState& state, int ms);              // Slider1 -> "50ms"
void setDecaySpeed(SharedState& state, int position);                // Slider2
std::string setThreshold(SharedState& state, int ch, int position);  // Slider3(ch) -> "55%"
std::string setGain(SharedState& state, int ch, int position);       // Slider4(ch) -> "100%"
std::string setFrequency(SharedState& state, int ch, int position);  // Form2 -> "62.5 Гц"
std::string setNoiseFilter(SharedState& state, int position);        // Form4 -> "Выкл" / "7%"
std::string setAgcSpeed(SharedState& state, int value);              // Form5 -> "5000"
std::string setNoSignalSeconds(SharedState& state, int seconds);     // Form6 Slider1 -> "1"
void setEffectSpeed(SharedState& state, int tenths);                 // Form6 Slider2

// Label texts for a position, without touching any state.
std::string scanPeriodLabel(int ms);
std::string thresholdLabel(int position);
std::string gainLabel(int position);
std::string frequencyLabel(int position);
std::string noiseFilterLabel(int position);

// Engine values for a position.
float thresholdForPosition(int position);  // (105 - 10p) / 100 as float
float gainForPosition(int position);       // (410 - 10p) / 100 as float
float noiseFilterLevelForPosition(int position);  // (100 - p) * 2.55 as float

// Where a dialog's slider goes when the dialog is filled from the state.
int noiseFilterPositionForLevel(float level);     // 100 - level / 2.55, rounded half to even
int effectSpeedForInterval(int effectIntervalMs);  // interval / 100, rounded half to even

// Start-up defaults (everything the window's load sets, in its order), on a state that holds
// the design values of the controls.
void applyStartupDefaults(SharedState& state);

// The reset command's defaults; leaves the scan period, AGC switch, noise filter and automaton
// settings alone.
void resetSettings(SharedState& state);

}  // namespace kalindor
