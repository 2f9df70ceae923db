#include "core/ControlUpdates.h"

#include <gtest/gtest.h>

namespace kalindor {
namespace {

TEST(ControlUpdates, SliderEndsGiveValueAndLabel) {
    SharedState state;
    EXPECT_EQ(setThreshold(state, 2, 1), "95%");
    EXPECT_FLOAT_EQ(state.ChannelThreshold[2], 0.95f);
    EXPECT_EQ(setThreshold(state, 2, 10), "5%");
    EXPECT_FLOAT_EQ(state.ChannelThreshold[2], 0.05f);
    EXPECT_EQ(setGain(state, 7, 1), "400%");
    EXPECT_FLOAT_EQ(state.ChannelGain[7], 4.0f);
    EXPECT_EQ(setGain(state, 7, 40), "10%");
    EXPECT_FLOAT_EQ(state.ChannelGain[7], 0.1f);
    EXPECT_EQ(setScanPeriod(state, 30), "30ms");
    EXPECT_EQ(state.ScanPeriodMs, 30);
}

TEST(ControlUpdates, DialogLabels) {
    SharedState state;
    EXPECT_EQ(setFrequency(state, 0, 1), "62.5 Гц");
    EXPECT_EQ(setFrequency(state, 2, 255), "15937.5 Гц");
    EXPECT_EQ(state.ChannelFrequency[2], 255);
    EXPECT_EQ(frequencyLabel(16), "1000 Гц");
    EXPECT_EQ(setNoiseFilter(state, 100), "Выкл");
    EXPECT_EQ(state.NoiseFilterLevel, 0.0f);
    EXPECT_EQ(setNoiseFilter(state, 99), "1%");
    EXPECT_FLOAT_EQ(state.NoiseFilterLevel, 2.55f);
    EXPECT_EQ(setNoiseFilter(state, 50), "50%");
    EXPECT_FLOAT_EQ(state.NoiseFilterLevel, 127.5f);
    EXPECT_EQ(noiseFilterPositionForLevel(state.NoiseFilterLevel), 50);
    EXPECT_EQ(noiseFilterPositionForLevel(0.0f), 100);
    EXPECT_EQ(setAgcSpeed(state, 5000), "5000");
    EXPECT_EQ(effectSpeedForInterval(1000), 10);
}

TEST(ControlUpdates, OutOfRangePositionsAreClampedLikeASlider) {
    SharedState state;
    EXPECT_EQ(setThreshold(state, 0, 0), "95%");
    EXPECT_EQ(state.ThresholdPosition[0], 1);
    EXPECT_EQ(setFrequency(state, 1, 300), "15937.5 Гц");
    EXPECT_EQ(state.ChannelFrequency[1], 255);
    // A channel outside 0..7 changes nothing.
    const SharedState before = state;
    setGain(state, 8, 3);
    EXPECT_EQ(state.ChannelGain, before.ChannelGain);
}

// The start-up values themselves are pinned byte for byte by the defaults preset file test.
TEST(ControlUpdates, ResetRestoresDefaultsButKeepsScanPeriodAgcAndNoiseFilter) {
    SharedState state;
    applyStartupDefaults(state);
    setScanPeriod(state, 70);
    state.AgcEnabled = true;
    setNoiseFilter(state, 60);
    state.XScaleLog = false;
    setFrequency(state, 3, 200);
    setGain(state, 3, 2);
    state.AgcSpeed = 9000;
    resetSettings(state);
    EXPECT_EQ(state.ScanPeriodMs, 70);
    EXPECT_TRUE(state.AgcEnabled);
    EXPECT_EQ(state.NoiseFilterPosition, 60);
    EXPECT_TRUE(state.XScaleLog);
    EXPECT_EQ(state.ChannelFrequency[3], 16);
    EXPECT_EQ(state.ChannelGain[3], 1.0f);
    EXPECT_EQ(state.AgcSpeed, 5000);
}

}  // namespace
}  // namespace kalindor
