#include "core/Settings.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace kalindor {
namespace {

// Each setting's control range and step, default, preset line and the meaning `preset show`
// prints, as the program's documentation gives them. Per-channel settings take lines
// 4 + 3ch (threshold), 5 + 3ch (gain) and 6 + 3ch (frequency, default (ch + 1)^2).
TEST(Settings, RangesDefaultsPresetLinesAndMeanings) {
    using enum Setting;
    // Rows {setting, channel, low, high, step, default position, preset line, meaning}.
    const std::tuple<Setting, int, int, int, int, int, int, std::string> cases[] = {
        {kScanPeriod, 0, 30, 100, 10, 50, 1, "scan period (ms)"},
        {kDecaySpeed, 0, 1, 10, 1, 5, 2, "decay speed (1..10)"},
        {kAgcEnabled, 0, 0, 1, 1, 0, 3, "automatic level control (1 = on)"},
        {kThreshold, 0, 1, 10, 1, 5, 4, "channel 1 threshold position (1..10)"},
        {kGain, 0, 1, 40, 1, 31, 5, "channel 1 gain position (1..40)"},
        {kFrequency, 0, 1, 255, 1, 1, 6, "channel 1 frequency step (x 62.5 Hz)"},
        {kFrequency, 2, 1, 255, 1, 9, 12, "channel 3 frequency step (x 62.5 Hz)"},
        {kThreshold, 7, 1, 10, 1, 5, 25, "channel 8 threshold position (1..10)"},
        {kGain, 7, 1, 40, 1, 31, 26, "channel 8 gain position (1..40)"},
        {kFrequency, 7, 1, 255, 1, 64, 27, "channel 8 frequency step (x 62.5 Hz)"},
        {kNoiseFilter, 0, 50, 100, 1, 100, 28, "noise filter position (100 = off)"},
        {kGraphPolygon, 0, 0, 1, 1, 1, 29, "graph type (1 = polygon, 0 = histogram)"},
        {kXScaleLog, 0, 0, 1, 1, 1, 30, "X scale (1 = logarithmic, 0 = linear)"},
        {kYScaleLog, 0, 0, 1, 1, 1, 31, "Y scale (1 = logarithmic, 0 = linear)"},
        {kAgcSpeed, 0, 1000, 10000, 100, 5000, 32, "AGC speed (points between updates)"},
        {kPortAddress, 0, -32768, 32767, 1, 888, 33, "legacy port address"},
        {kNoSignalSeconds, 0, 1, 10, 1, 1, 0, "(no preset line)"},
        {kEffectSpeed, 0, 1, 10, 1, 10, 0, "(no preset line)"},
    };
    for (const auto& [id, ch, low, high, step, position, line, meaning] : cases) {
        SCOPED_TRACE("setting " + std::to_string(static_cast<int>(id)) + ": " + meaning);
        const SettingInfo& info = settingInfo(id);
        EXPECT_EQ(std::tuple(info.low, info.high, info.step), std::tuple(low, high, step));
        EXPECT_EQ(defaultPosition(id, ch), position);
        EXPECT_EQ(presetLineOf(id, ch), line);
        if (line != 0) {
            const PresetLineSetting at = settingAtPresetLine(line);
            EXPECT_EQ(at.info, &info);
            EXPECT_EQ(at.ch, ch);
            EXPECT_EQ(settingMeaning(id, ch), meaning);
        }
    }
    EXPECT_EQ(settingAtPresetLine(0).info, nullptr);
    EXPECT_EQ(settingAtPresetLine(34).info, nullptr);
}

}  // namespace
}  // namespace kalindor
