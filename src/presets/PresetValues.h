// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/Expected.h"
#include "core/SharedState.h"
#include "presets/PresetError.h"

namespace kalindor {

// Longest line the reader accepts among the first 33 (bytes, without the line end). A preset
// line is a handful of characters; the limit keeps a wrong file (or a pipe) from being read
// without bound.
inline constexpr std::size_t kPresetMaxLineBytes = 1024;

// The 33 items of a preset as the reader applies them: control positions (not engine values),
// switches already decided, lines 32 and 33 as 16-bit values. Which line holds which setting
// is the settings table's presetLine (core/Settings.h).
struct PresetValues {
    int ScanPeriodMs = defaultPosition(Setting::kScanPeriod);
    int DecaySpeed = defaultPosition(Setting::kDecaySpeed);
    bool AgcEnabled = defaultPosition(Setting::kAgcEnabled) != 0;
    std::array<int, kChannelCount> ThresholdPosition{};
    std::array<int, kChannelCount> GainPosition{};
    std::array<int, kChannelCount> ChannelFrequency{};
    int NoiseFilterPosition = defaultPosition(Setting::kNoiseFilter);
    bool GraphPolygon = defaultPosition(Setting::kGraphPolygon) != 0;
    bool XScaleLog = defaultPosition(Setting::kXScaleLog) != 0;
    bool YScaleLog = defaultPosition(Setting::kYScaleLog) != 0;
    std::int16_t AgcSpeed = static_cast<std::int16_t>(defaultPosition(Setting::kAgcSpeed));
    std::int16_t PortAddress = static_cast<std::int16_t>(defaultPosition(Setting::kPortAddress));

    friend bool operator==(const PresetValues&, const PresetValues&) = default;
};

// The settings a preset stores, taken from the state's control positions.
PresetValues presetValuesFromState(const SharedState& state);

// Applies the values in file order through the controls' update routines (ControlUpdates.h),
// exactly as moving each control would; AgcSpeed and PortAddress are stored as they are.
void applyPresetValues(const PresetValues& values, SharedState& state);

// The 33 numbers the writer puts on lines 1..33 (switches as 1 or 0).
std::array<int, kPresetLineCount> presetLines(const PresetValues& values);

// The exact bytes of a preset file: per line a blank (or "-"), the digits, a blank, CR LF.
std::string formatPreset(const PresetValues& values);

// Parses and validates the first 33 lines of a preset's bytes; anything after line 33 is
// ignored. Lines end in CR LF, LF or CR; blanks (space, tab) around a number are skipped;
// fractions are rounded half to even. Items 3 and 29 are on only when they equal 1, items 30
// and 31 when non-zero after rounding. Every item must be a decimal number; positions must lie
// in their control's range; lines 32 and 33 in -32768..32767.
// Returns the values, or the first failing line with its reason; never throws on any input.
Expected<PresetValues, PresetError> parsePreset(std::string_view text);

// Short English meaning of a preset line 1..33, e.g. "scan period (ms)" or "channel 2 gain
// position (1..40)"; "" outside 1..33.
std::string presetLineMeaning(int line);

}  // namespace kalindor
