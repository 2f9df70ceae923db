#include "core/Settings.h"

#include <gtest/gtest.h>

#include <string>

namespace kalindor {
namespace {

// Each setting's control range and step, default, preset line and the meaning `preset show`
// prints, as the program's documentation gives them. Per-channel settings take lines
// 4 + 3ch (threshold), 5 + 3ch (gain) and 6 + 3ch (frequency, default (ch + 1)^2).
TEST(Settings, RangesDefaultsPresetLinesAndMeanings) {
    const struct {
        Setting id;
        int ch;
        int low, high, step, defaultPosition, line;
        std::string meaning;
    } cases[] = {
        {Setting::kScanPeriod, 0, 30, 100, 10, 50, 1, "scan period (ms)"},
        {Setting::kDecaySpeed, 0, 1, 10, 1, 5, 2, "decay speed (1..10)"},
        {Setting::kAgcEnabled, 0, 0, 1, 1, 0, 3, "automatic level control (1 = on)"},
        {Setting::kThreshold, 0, 1, 10, 1, 5, 4, "channel 1 threshold position (1..10)"},
        {Setting::kGain, 0, 1, 40, 1, 31, 5, "channel 1 gain position (1..40)"},
        {Setting::kFrequency, 0, 1, 255, 1, 1, 6, "channel 1 frequency step (x 62.5 Hz)"},
        {Setting::kFrequency, 2, 1, 255, 1, 9, 12, "channel 3 frequency step (x 62.5 Hz)"},
        {Setting::kThreshold, 3, 1, 10, 1, 5, 13, "channel 4 threshold position (1..10)"},
        {Setting::kGain, 5, 1, 40, 1, 31, 20, "channel 6 gain position (1..40)"},
        {Setting::kThreshold, 7, 1, 10, 1, 5, 25, "channel 8 threshold position (1..10)"},
        {Setting::kGain, 7, 1, 40, 1, 31, 26, "channel 8 gain position (1..40)"},
        {Setting::kFrequency, 7, 1, 255, 1, 64, 27, "channel 8 frequency step (x 62.5 Hz)"},
        {Setting::kNoiseFilter, 0, 50, 100, 1, 100, 28, "noise filter position (100 = off)"},
        {Setting::kGraphPolygon, 0, 0, 1, 1, 1, 29, "graph type (1 = polygon, 0 = histogram)"},
        {Setting::kXScaleLog, 0, 0, 1, 1, 1, 30, "X scale (1 = logarithmic, 0 = linear)"},
        {Setting::kYScaleLog, 0, 0, 1, 1, 1, 31, "Y scale (1 = logarithmic, 0 = linear)"},
        {Setting::kAgcSpeed, 0, 1000, 10000, 100, 5000, 32, "AGC speed (points between updates)"},
        {Setting::kPortAddress, 0, -32768, 32767, 1, 888, 33, "legacy port address"},
        {Setting::kNoSignalSeconds, 0, 1, 10, 1, 1, 0, ""},
        {Setting::kEffectSpeed, 0, 1, 10, 1, 10, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("setting " + std::to_string(static_cast<int>(c.id)) + " channel " +
                     std::to_string(c.ch));
        const SettingInfo& info = settingInfo(c.id);
        EXPECT_EQ(info.low, c.low);
        EXPECT_EQ(info.high, c.high);
        EXPECT_EQ(info.step, c.step);
        EXPECT_EQ(defaultPosition(c.id, c.ch), c.defaultPosition);
        EXPECT_EQ(presetLineOf(c.id, c.ch), c.line);
        if (c.line != 0) {
            const PresetLineSetting at = settingAtPresetLine(c.line);
            EXPECT_EQ(at.info, &info);
            EXPECT_EQ(at.ch, c.ch);
            EXPECT_EQ(settingMeaning(c.id, c.ch), c.meaning);
        }
    }
    EXPECT_EQ(settingAtPresetLine(0).info, nullptr);
    EXPECT_EQ(settingAtPresetLine(34).info, nullptr);
}

}  // namespace
}  // namespace kalindor
