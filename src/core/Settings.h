// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>
#include <string>

namespace kalindor {

struct SharedState;

// Every setting a user can change. The per-channel ones exist once for each channel 0..7.
enum class Setting {
    kScanPeriod,
    kDecaySpeed,
    kAgcEnabled,
    kThreshold,
    kGain,
    kFrequency,
    kNoiseFilter,
    kGraphPolygon,
    kXScaleLog,
    kYScaleLog,
    kAgcSpeed,
    kPortAddress,
    kNoSignalSeconds,
    kEffectSpeed,
};

// How the preset reader takes the number on a setting's line.
enum class PresetItem {
    kNone,           // not stored in presets
    kPosition,       // a control position: rounded half to even, must lie in low..high
    kOnWhenOne,      // a switch, on only when the number equals 1 (before rounding)
    kOnWhenNonZero,  // a switch, on when the number rounded half to even is not 0
    kInt16,          // rounded and stored as it stands, anywhere in -32768..32767
};

// Which step puts a setting to its default: the state is created holding it, start-up sets
// it, or start-up and the reset command both set it.
enum class DefaultBy { kCreation, kStartup, kStartupAndReset };

inline constexpr int kPresetLineCount = 33;
inline constexpr int kPresetLinesPerChannel = 3;  // threshold, gain, frequency

// Default position of the per-channel frequency: (ch + 1)^2 for channel ch.
inline constexpr int kSquareOfChannel = -1;

// One setting: the control's position range and steps, its default, its preset line, and how
// a position becomes the label and the engine value. A switch has the positions 0 (off) and
// 1 (on).
struct SettingInfo {
    Setting id{};
    bool perChannel = false;
    // Position range of the control, and the arrow and page step of a slider.
    int low = 0;
    int high = 1;
    int step = 1;
    int defaultPosition = 0;  // or kSquareOfChannel
    DefaultBy defaultBy = DefaultBy::kStartupAndReset;
    // Line 1..33 of a preset, 0 when not stored; for a per-channel setting channel 0's line,
    // each further channel kPresetLinesPerChannel lines on.
    int presetLine = 0;
    PresetItem presetItem = PresetItem::kNone;
    // The English meaning of the preset line (settingMeaning); with meaningShowsRange it is
    // followed by " (low..high)".
    const char* meaning = "";
    bool meaningShowsRange = false;
    // The control's label for a position; nullptr when the control has no label.
    std::string (*label)(int position) = nullptr;
    // The position the state holds, and writing a position (already in range) together with
    // the engine value derived from it. ch is ignored for global settings.
    int (*position)(const SharedState& state, int ch) = nullptr;
    void (*store)(SharedState& state, int ch, int position) = nullptr;
};

const SettingInfo& settingInfo(Setting id);
std::span<const SettingInfo> allSettings();  // in the order of Setting

int defaultPosition(Setting id, int ch = 0);
std::string rangeText(Setting id);  // "1..10"

// What `kalindor-cli preset show` prints for the setting of channel ch, e.g. "scan period (ms)"
// or "channel 2 gain position (1..40)".
std::string settingMeaning(Setting id, int ch = 0);

// Preset line 1..33 of a setting of channel ch, 0 when it is not stored; and the other way
// round (info nullptr for a line outside 1..33).
int presetLineOf(Setting id, int ch = 0);
struct PresetLineSetting {
    const SettingInfo* info = nullptr;
    int ch = 0;
};
PresetLineSetting settingAtPresetLine(int line);

// Label texts (UTF-8) for a position.
std::string scanPeriodLabel(int ms);         // "50ms"
std::string thresholdLabel(int position);    // "55%"
std::string gainLabel(int position);         // "100%"
std::string frequencyLabel(int position);    // "62.5 Гц"
std::string noiseFilterLabel(int position);  // "Выкл" at 100, else "7%"

// Engine values for a position.
float thresholdForPosition(int position);         // (105 - 10p) / 100 as float
float gainForPosition(int position);              // (410 - 10p) / 100 as float
float noiseFilterLevelForPosition(int position);  // (100 - p) * 2.55 as float
int effectIntervalForSpeed(int tenths);           // ms per effect step

// Where a dialog's slider goes when the dialog is filled from the state.
int noiseFilterPositionForLevel(float level);      // 100 - level / 2.55, rounded half to even
int effectSpeedForInterval(int effectIntervalMs);  // interval / 100, rounded half to even

}  // namespace kalindor
