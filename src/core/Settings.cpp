// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Settings.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <limits>

#include "core/Rounding.h"
#include "core/SharedState.h"

namespace kalindor {

namespace {

constexpr int kEffectStepMsPerSpeed = 100;  // the effect speed counts tenths of a second

std::int16_t int16(int value) {
    return static_cast<std::int16_t>(value);
}

// Whole numbers of a percentage label are computed in integer arithmetic.
std::string percent(int value) {
    return std::to_string(value) + "%";
}

std::string wholeNumberLabel(int value) {
    return std::to_string(value);
}

// The control of each setting is named in the comment above its row.
constexpr SettingInfo kSettings[] = {
    // Main window Slider1: the capture timer's period in ms.
    {.id = Setting::kScanPeriod,
     .low = 30,
     .high = 100,
     .step = 10,
     .defaultPosition = 50,
     .defaultBy = DefaultBy::kCreation,
     .presetLine = 1,
     .presetItem = PresetItem::kPosition,
     .meaning = "scan period (ms)",
     .label = scanPeriodLabel,
     .position = [](const SharedState& s, int) -> int { return s.ScanPeriodMs; },
     .store = [](SharedState& s, int, int p) { s.ScanPeriodMs = int16(p); }},
    // Main window Slider2.
    {.id = Setting::kDecaySpeed,
     .low = 1,
     .high = 10,
     .defaultPosition = 5,
     .presetLine = 2,
     .presetItem = PresetItem::kPosition,
     .meaning = "decay speed",
     .meaningShowsRange = true,
     .position = [](const SharedState& s, int) -> int { return s.DecaySpeed; },
     .store = [](SharedState& s, int, int p) { s.DecaySpeed = int16(p); }},
    // Main window check box Check1.
    {.id = Setting::kAgcEnabled,
     .defaultBy = DefaultBy::kCreation,
     .presetLine = 3,
     .presetItem = PresetItem::kOnWhenOne,
     .meaning = "automatic level control (1 = on)",
     .position = [](const SharedState& s, int) -> int { return s.AgcEnabled ? 1 : 0; },
     .store = [](SharedState& s, int, int p) { s.AgcEnabled = p != 0; }},
    // Main window Slider3(ch).
    {.id = Setting::kThreshold,
     .perChannel = true,
     .low = 1,
     .high = 10,
     .defaultPosition = 5,
     .presetLine = 4,
     .presetItem = PresetItem::kPosition,
     .meaning = "threshold position",
     .meaningShowsRange = true,
     .label = thresholdLabel,
     .position = [](const SharedState& s, int ch) -> int { return s.ThresholdPosition[ch]; },
     .store =
         [](SharedState& s, int ch, int p) {
             s.ThresholdPosition[ch] = int16(p);
             s.ChannelThreshold[ch] = thresholdForPosition(p);
         }},
    // Main window Slider4(ch).
    {.id = Setting::kGain,
     .perChannel = true,
     .low = 1,
     .high = 40,
     .defaultPosition = 31,
     .presetLine = 5,
     .presetItem = PresetItem::kPosition,
     .meaning = "gain position",
     .meaningShowsRange = true,
     .label = gainLabel,
     .position = [](const SharedState& s, int ch) -> int { return s.GainPosition[ch]; },
     .store =
         [](SharedState& s, int ch, int p) {
             s.GainPosition[ch] = int16(p);
             s.ChannelGain[ch] = gainForPosition(p);
         }},
    // Form2 Slider1(ch): the spectrum point the channel listens to.
    {.id = Setting::kFrequency,
     .perChannel = true,
     .low = 1,
     .high = 255,
     .defaultPosition = kSquareOfChannel,
     .presetLine = 6,
     .presetItem = PresetItem::kPosition,
     .meaning = "frequency step (x 62.5 Hz)",
     .label = frequencyLabel,
     .position = [](const SharedState& s, int ch) -> int { return s.ChannelFrequency[ch]; },
     .store = [](SharedState& s, int ch, int p) { s.ChannelFrequency[ch] = int16(p); }},
    // Form4 Slider1(0); 100 is the filter off.
    {.id = Setting::kNoiseFilter,
     .low = 50,
     .high = 100,
     .defaultPosition = 100,
     .defaultBy = DefaultBy::kCreation,
     .presetLine = 28,
     .presetItem = PresetItem::kPosition,
     .meaning = "noise filter position (100 = off)",
     .label = noiseFilterLabel,
     .position = [](const SharedState& s, int) -> int { return s.NoiseFilterPosition; },
     .store =
         [](SharedState& s, int, int p) {
             s.NoiseFilterPosition = int16(p);
             s.NoiseFilterLevel = noiseFilterLevelForPosition(p);
         }},
    // Menu items mnuPoligon (1) and mnuGistogramm (0).
    {.id = Setting::kGraphPolygon,
     .defaultPosition = 1,
     .presetLine = 29,
     .presetItem = PresetItem::kOnWhenOne,
     .meaning = "graph type (1 = polygon, 0 = histogram)",
     .position = [](const SharedState& s, int) -> int { return s.GraphPolygon ? 1 : 0; },
     .store = [](SharedState& s, int, int p) { s.GraphPolygon = p != 0; }},
    // Menu items mnuLog (1) and mnuLine (0).
    {.id = Setting::kXScaleLog,
     .defaultPosition = 1,
     .presetLine = 30,
     .presetItem = PresetItem::kOnWhenNonZero,
     .meaning = "X scale (1 = logarithmic, 0 = linear)",
     .position = [](const SharedState& s, int) -> int { return s.XScaleLog ? 1 : 0; },
     .store = [](SharedState& s, int, int p) { s.XScaleLog = p != 0; }},
    // Menu items mnuLogY (1) and mnuLineY (0).
    {.id = Setting::kYScaleLog,
     .defaultPosition = 1,
     .presetLine = 31,
     .presetItem = PresetItem::kOnWhenNonZero,
     .meaning = "Y scale (1 = logarithmic, 0 = linear)",
     .position = [](const SharedState& s, int) -> int { return s.YScaleLog ? 1 : 0; },
     .store = [](SharedState& s, int, int p) { s.YScaleLog = p != 0; }},
    // Form5 Slider1. A preset stores any 16-bit value here without moving the slider.
    {.id = Setting::kAgcSpeed,
     .low = 1000,
     .high = 10000,
     .step = 100,
     .defaultPosition = 5000,
     .presetLine = 32,
     .presetItem = PresetItem::kInt16,
     .meaning = "AGC speed (points between updates)",
     .label = wholeNumberLabel,
     .position = [](const SharedState& s, int) -> int { return s.AgcSpeed; },
     .store = [](SharedState& s, int, int p) { s.AgcSpeed = int16(p); }},
    // No control: a parallel port address kept only for preset files.
    {.id = Setting::kPortAddress,
     .low = std::numeric_limits<std::int16_t>::min(),
     .high = std::numeric_limits<std::int16_t>::max(),
     .defaultPosition = 888,
     .presetLine = 33,
     .presetItem = PresetItem::kInt16,
     .meaning = "legacy port address",
     .position = [](const SharedState& s, int) -> int { return s.PortAddress; },
     .store = [](SharedState& s, int, int p) { s.PortAddress = int16(p); }},
    // Form6 Slider1: seconds without signal before the effects start.
    {.id = Setting::kNoSignalSeconds,
     .low = 1,
     .high = 10,
     .defaultPosition = 1,
     .defaultBy = DefaultBy::kStartup,
     .label = wholeNumberLabel,
     .position = [](const SharedState& s, int) -> int { return s.NoSignalSeconds; },
     .store = [](SharedState& s, int, int p) { s.NoSignalSeconds = int16(p); }},
    // Form6 Slider2: tenths of a second per effect step (the effects timer's period).
    {.id = Setting::kEffectSpeed,
     .low = 1,
     .high = 10,
     .defaultPosition = 10,
     .defaultBy = DefaultBy::kCreation,
     .position = [](const SharedState& s,
                    int) { return effectSpeedForInterval(s.EffectIntervalMs); },
     .store = [](SharedState& s, int, int p) { s.EffectIntervalMs = effectIntervalForSpeed(p); }},
};

constexpr int channelsOf(const SettingInfo& info) {
    return info.perChannel ? kChannelCount : 1;
}

constexpr int lineOf(const SettingInfo& info, int ch) {
    if (info.presetLine == 0) {
        return 0;
    }
    return info.presetLine + (info.perChannel ? kPresetLinesPerChannel * ch : 0);
}

constexpr bool rowsFollowTheEnum() {
    for (std::size_t i = 0; i < std::size(kSettings); ++i) {
        if (kSettings[i].id != static_cast<Setting>(i)) {
            return false;
        }
    }
    return std::size(kSettings) == static_cast<std::size_t>(Setting::kEffectSpeed) + 1;
}
static_assert(rowsFollowTheEnum(), "settingInfo() indexes the table by Setting");

// Lines 1..33 are each held by exactly one setting (of one channel), and no other line is.
constexpr bool presetLinesAreComplete() {
    int held[kPresetLineCount + 1] = {};
    for (const SettingInfo& info : kSettings) {
        for (int ch = 0; ch < channelsOf(info); ++ch) {
            const int line = lineOf(info, ch);
            if (line < 0 || line > kPresetLineCount) {
                return false;
            }
            ++held[line];
        }
    }
    return std::all_of(held + 1, held + kPresetLineCount + 1, [](int n) { return n == 1; });
}
static_assert(presetLinesAreComplete());

}  // namespace

const SettingInfo& settingInfo(Setting id) {
    return kSettings[static_cast<std::size_t>(id)];
}

std::span<const SettingInfo> allSettings() {
    return kSettings;
}

int defaultPosition(Setting id, int ch) {
    const int position = settingInfo(id).defaultPosition;
    if (position != kSquareOfChannel) {
        return position;
    }
    // Computed in floating point and rounded, as start-up defines it; exact for 1..64.
    return static_cast<int>(std::lround(std::pow(static_cast<double>(ch + 1), 2.0)));
}

std::string rangeText(Setting id) {
    const SettingInfo& info = settingInfo(id);
    return std::to_string(info.low) + ".." + std::to_string(info.high);
}

std::string settingMeaning(Setting id, int ch) {
    const SettingInfo& info = settingInfo(id);
    std::string text = info.perChannel ? "channel " + std::to_string(ch + 1) + " " : "";
    text += info.meaning;
    if (info.meaningShowsRange) {
        text += " (" + rangeText(id) + ")";
    }
    return text;
}

int presetLineOf(Setting id, int ch) {
    return lineOf(settingInfo(id), ch);
}

PresetLineSetting settingAtPresetLine(int line) {
    if (line < 1 || line > kPresetLineCount) {
        return {};
    }
    for (const SettingInfo& info : kSettings) {
        for (int ch = 0; ch < channelsOf(info); ++ch) {
            if (lineOf(info, ch) == line) {
                return {&info, ch};
            }
        }
    }
    return {};
}

std::string scanPeriodLabel(int ms) {
    return std::to_string(ms) + "ms";
}
std::string thresholdLabel(int position) {
    return percent(105 - 10 * position);
}
std::string gainLabel(int position) {
    return percent(410 - 10 * position);
}

std::string frequencyLabel(int position) {
    // position * 62.5 is a whole number or ends in .5; always a point as decimal separator.
    const int tenths = position * 625;
    std::string text = std::to_string(tenths / 10);
    if (tenths % 10 != 0) {
        // Appended piecewise: GCC 12 at -O3 warns falsely (-Wrestrict) on "." + std::string.
        text += '.';
        text += std::to_string(std::abs(tenths % 10));
    }
    return text + " Гц";
}

std::string noiseFilterLabel(int position) {
    if (position == 100) {
        return "Выкл";
    }
    return percent(100 - position);
}

float thresholdForPosition(int position) {
    const int t = 105 - 10 * position;
    return static_cast<float>(static_cast<double>(t) / 100.0);
}

float gainForPosition(int position) {
    const int g = 410 - 10 * position;
    return static_cast<float>(static_cast<double>(g) / 100.0);
}

float noiseFilterLevelForPosition(int position) {
    return static_cast<float>(static_cast<double>(100 - position) * 2.55);
}

int effectIntervalForSpeed(int tenths) {
    return tenths * kEffectStepMsPerSpeed;
}

int noiseFilterPositionForLevel(float level) {
    const SettingInfo& info = settingInfo(Setting::kNoiseFilter);
    const double p = roundHalfEven(100.0 - static_cast<double>(level) / 2.55);
    return static_cast<int>(
        std::clamp(p, static_cast<double>(info.low), static_cast<double>(info.high)));
}

int effectSpeedForInterval(int effectIntervalMs) {
    const SettingInfo& info = settingInfo(Setting::kEffectSpeed);
    const double p = roundHalfEven(static_cast<double>(effectIntervalMs) / kEffectStepMsPerSpeed);
    return static_cast<int>(
        std::clamp(p, static_cast<double>(info.low), static_cast<double>(info.high)));
}

}  // namespace kalindor
