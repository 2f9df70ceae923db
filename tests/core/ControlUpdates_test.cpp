#include "core/ControlUpdates.h"

#include <gtest/gtest.h>

namespace kalindor {
namespace {

// Each row moves one control (positions outside its range are clamped) and reads back the
// label and the engine value. The start-up values themselves are pinned byte for byte by the
// preset command's test.
TEST(ControlUpdates, PositionsGiveLabelAndEngineValue) {
    SharedState state;
    const struct {
        std::string label;
        double value;
        std::string expectedLabel;
        double expectedValue;
    } rows[] = {
        {setThreshold(state, 2, 1), state.ChannelThreshold[2], "95%", 0.95f},
        {setThreshold(state, 2, 10), state.ChannelThreshold[2], "5%", 0.05f},
        {setGain(state, 7, 1), state.ChannelGain[7], "400%", 4.0f},
        {setFrequency(state, 2, 1), static_cast<double>(state.ChannelFrequency[2]), "62.5 Гц", 1},
        {setFrequency(state, 2, 300), static_cast<double>(state.ChannelFrequency[2]), "15937.5 Гц",
         255},
        {setNoiseFilter(state, 100), state.NoiseFilterLevel, "Выкл", 0.0f},
        {setNoiseFilter(state, 99), state.NoiseFilterLevel, "1%", 2.55f},
        {setScanPeriod(state, 101), static_cast<double>(state.ScanPeriodMs), "100ms", 100},
        {setAgcSpeed(state, 20000), static_cast<double>(state.AgcSpeed), "10000", 10000},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.expectedLabel);
        EXPECT_EQ(row.label, row.expectedLabel);
        EXPECT_EQ(row.value, row.expectedValue);
    }
    EXPECT_EQ(frequencyLabel(16), "1000 Гц");
    EXPECT_EQ(noiseFilterPositionForLevel(noiseFilterLevelForPosition(52)), 52);  // 51.9999994
    EXPECT_EQ(effectSpeedForInterval(1000), 10);
    const SharedState before = state;
    setGain(state, 8, 3);  // a channel outside 0..7 changes nothing
    EXPECT_EQ(state, before);
}

}  // namespace
}  // namespace kalindor
