#include "dsp/LevelChain.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>

#include "core/ControlUpdates.h"
#include "support/FakeLightDevice.h"
#include "support/RecordingView.h"

namespace kalindor {
namespace {

using test::FakeLightDevice;
using test::RecordingView;

class LevelChainTest : public ::testing::Test {
  protected:
    LevelChainTest() { applyStartupDefaults(state); }

    // One buffer in which point p has the held level levels[p] (0 elsewhere).
    void runBuffer(const std::map<int, float>& levels) {
        chain.startBuffer();
        for (int p = 1; p <= 255; ++p) {
            const auto it = levels.find(p);
            chain.pointStep(p, it == levels.end() ? 0.0f : it->second, channelsAtPoint(state, p));
        }
        chain.outputStep();
    }

    // Thresholds so that exactly the channels of `pattern` light on an all-zero buffer.
    void lightOnlyOnSilence(std::uint8_t pattern) {
        for (int ch = 0; ch < kChannelCount; ++ch) {
            state.ChannelThreshold[ch] = (pattern >> ch) & 1 ? 0.0f : thresholdForPosition(1);
        }
    }

    SharedState state;
    RecordingView view;
    FakeLightDevice device;
    LevelChain chain{state, view, device};
};

TEST_F(LevelChainTest, ChannelsAtPointFollowFrequenciesAndIgnoreOutOfRange) {
    state.ChannelFrequency = {5, 5, 9, 0, 256, -1, 255, 1};
    EXPECT_EQ(channelsAtPoint(state, 5), 0b11);
    EXPECT_EQ(channelsAtPoint(state, 9), 0b100);
    EXPECT_EQ(channelsAtPoint(state, 255), 0b1000000);
    EXPECT_EQ(channelsAtPoint(state, 1), 0b10000000);
    EXPECT_EQ(channelsAtPoint(state, 0), 0);
    EXPECT_EQ(channelsAtPoint(state, 256), 0);
    EXPECT_EQ(channelsAtPoint(state, -1), 0);

    std::array<std::uint8_t, 256> byPoint{};
    byPoint.fill(0xFF);
    channelsByPoint(state, byPoint);
    for (int p = 0; p < 256; ++p) {
        EXPECT_EQ(byPoint[p], channelsAtPoint(state, p)) << p;
    }
}

TEST_F(LevelChainTest, WithoutAgcGainThresholdBarAndYellowLamp) {
    setGain(state, 0, 21);  // gain 2.0
    const int p = state.ChannelFrequency[0];

    runBuffer({{p, 100.0f}});  // 200 >= 0.55 * 255
    EXPECT_EQ(chain.channelShown()[0], 200);
    EXPECT_EQ(view.bars[0], 200);
    EXPECT_TRUE(chain.channelLit()[0]);
    EXPECT_EQ(view.lamps[0], kYellow);
    EXPECT_EQ(chain.lightPattern(), 1);

    runBuffer({{p, 200.0f}});  // 400 is limited to 255
    EXPECT_EQ(chain.channelShown()[0], 255);
    EXPECT_FLOAT_EQ(chain.spectrumLevel()[p], 255.0f);

    runBuffer({{p, 60.0f}});  // 120 < 140.25
    EXPECT_EQ(view.bars[0], 120);
    EXPECT_FALSE(chain.channelLit()[0]);
    EXPECT_EQ(view.lamps[0], kBlack);
    EXPECT_EQ(chain.lightPattern(), 0);
}

TEST_F(LevelChainTest, ThresholdIsInclusiveAtItsFloatProduct) {
    const int p = state.ChannelFrequency[2];
    const float threshold = state.ChannelThreshold[2] * 255.0f;  // 140.25
    runBuffer({{p, threshold}});
    EXPECT_EQ(chain.lightPattern(), 1 << 2);
    runBuffer({{p, std::nextafter(threshold, 0.0f)}});
    EXPECT_EQ(chain.lightPattern(), 0);
}

TEST_F(LevelChainTest, BarIsTouchedOnlyWhenItsValueChangesAndRoundsHalvesToEven) {
    const int p = state.ChannelFrequency[0];
    runBuffer({});
    EXPECT_EQ(view.barUpdates, 0);  // 0 is already shown

    runBuffer({{p, 2.5f}});
    EXPECT_EQ(view.bars[0], 2);
    runBuffer({{p, 3.5f}});
    EXPECT_EQ(view.bars[0], 4);
    const int updates = view.barUpdates;
    runBuffer({{p, 4.0f}});
    EXPECT_EQ(view.barUpdates, updates);  // 4 is what the bar already shows
    runBuffer({{p, 4.25f}});
    EXPECT_EQ(view.barUpdates, updates + 1);  // differs from the shown whole value
    EXPECT_EQ(view.bars[0], 4);
}

TEST_F(LevelChainTest, ThresholdZeroLightsOnSilenceWithAndWithoutAgc) {
    state.ChannelThreshold[3] = 0.0f;
    runBuffer({});
    EXPECT_EQ(chain.lightPattern(), 1 << 3);
    EXPECT_EQ(view.lamps[3], kYellow);

    state.AgcEnabled = true;
    runBuffer({});
    EXPECT_EQ(chain.lightPattern(), 1 << 3);
    EXPECT_EQ(view.lamps[3], kYellow);  // the lamp keeps the colour it lit with
}

TEST_F(LevelChainTest, AgcGainIsZeroUntilTheFirstUpdate) {
    state.AgcEnabled = true;
    state.AgcSpeed = 1000;
    state.ChannelThreshold.fill(thresholdForPosition(10));  // 0.05
    std::map<int, float> loud;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        loud[state.ChannelFrequency[ch]] = 255.0f;
    }
    for (int buffer = 0; buffer < 3; ++buffer) {  // 765 point steps < 1000
        runBuffer(loud);
        EXPECT_EQ(chain.lightPattern(), 0);
        EXPECT_EQ(chain.agcGain(), 0.0f);
    }
    EXPECT_EQ(chain.agcCounter(), 3 * 255);
    runBuffer(loud);  // the update comes at point step 1000, inside this buffer
    EXPECT_FLOAT_EQ(chain.agcGain(), 178.5f / 255.0f);
    EXPECT_TRUE(device.outWrites().empty());
}

TEST_F(LevelChainTest, AgcMapsTheLoudestLevelToSeventyPercentOfFullScale) {
    state.AgcEnabled = true;
    state.AgcSpeed = 255;  // one update at the end of every buffer
    state.ChannelFrequency[0] = 10;
    state.ChannelFrequency[1] = 20;
    setThreshold(state, 0, 5);  // 0.55 -> 140.25
    setThreshold(state, 1, 3);  // 0.75 -> 191.25
    const std::map<int, float> levels{{10, 100.0f}, {20, 100.0f}};

    runBuffer(levels);
    EXPECT_FLOAT_EQ(chain.agcGain(), 1.785f);
    EXPECT_EQ(chain.lightPattern(), 0);

    runBuffer(levels);  // e = 178.5 for both
    EXPECT_EQ(chain.lightPattern(), 0b01);
    EXPECT_EQ(view.lamps[0], kWhite);
    EXPECT_EQ(view.lamps[1], kBlack);
    EXPECT_EQ(chain.channelShown()[0], 178);  // 178.5, half to even
    EXPECT_EQ(chain.channelShown()[1], 178);
}

TEST_F(LevelChainTest, AgcPeakIsPreGainAndAnEmptyPeriodGivesGainOf178Point5) {
    state.AgcEnabled = true;
    state.AgcSpeed = 255;
    setGain(state, 0, 1);  // 4.0: the peak must not see it
    runBuffer({{state.ChannelFrequency[0], 50.0f}});
    EXPECT_FLOAT_EQ(chain.agcGain(), 255.0f / 50.0f * 0.7f);

    runBuffer({});
    EXPECT_FLOAT_EQ(chain.agcGain(), 178.5f);
}

TEST_F(LevelChainTest, AgcScaledLevelAbove255FillsTheBarAndIsComparedUnlimited) {
    state.AgcEnabled = true;
    state.AgcSpeed = 255;
    const int p = state.ChannelFrequency[4];
    setThreshold(state, 4, 1);  // 0.95
    runBuffer({{p, 10.0f}});    // gain 17.85
    runBuffer({{p, 20.0f}});    // e = 357
    EXPECT_EQ(chain.channelShown()[4], 255);
    EXPECT_EQ(view.bars[4], 255);
    EXPECT_EQ(chain.lightPattern(), 1 << 4);
}

TEST_F(LevelChainTest, AgcCountsEveryPointOnlyWhileOnAndKeepsItsStateWhenOff) {
    state.AgcSpeed = 5000;
    runBuffer({});
    EXPECT_EQ(chain.agcCounter(), 0);
    state.AgcEnabled = true;
    runBuffer({});
    EXPECT_EQ(chain.agcCounter(), 255);
    state.AgcEnabled = false;
    runBuffer({});
    EXPECT_EQ(chain.agcCounter(), 255);
}

TEST_F(LevelChainTest, NoiseFilterSilencesOnlyUnderAgc) {
    setNoiseFilter(state, 80);  // level 51
    const int p = state.ChannelFrequency[0];
    runBuffer({{p, 30.0f}});
    EXPECT_EQ(chain.channelShown()[0], 30);

    state.AgcEnabled = true;
    state.AgcSpeed = 255;
    runBuffer({{p, 30.0f}});  // AGC gain now 5.95
    runBuffer({{p, 30.0f}});
    EXPECT_EQ(chain.channelShown()[0], 0);
    runBuffer({{p, 60.0f}});
    EXPECT_GT(chain.channelShown()[0], 0);
}

TEST_F(LevelChainTest, SharedFrequencyCompoundsGainsInChannelOrder) {
    state.ChannelFrequency[1] = state.ChannelFrequency[0];
    setGain(state, 0, 21);  // 2.0
    setGain(state, 1, 26);  // 1.5
    runBuffer({{state.ChannelFrequency[0], 50.0f}});
    EXPECT_EQ(chain.channelShown()[0], 100);
    EXPECT_EQ(chain.channelShown()[1], 150);
    EXPECT_EQ(chain.lightPattern(), 0b10);

    runBuffer({{state.ChannelFrequency[0], 100.0f}});  // 200, then 255 * 1.5 limited
    EXPECT_EQ(chain.channelShown()[0], 200);
    EXPECT_EQ(chain.channelShown()[1], 255);
    EXPECT_EQ(chain.lightPattern(), 0b11);

    // With AGC the noise filter of the first channel reaches the second.
    state.AgcEnabled = true;
    state.AgcSpeed = 255;
    setNoiseFilter(state, 50);  // 127.5
    runBuffer({{state.ChannelFrequency[0], 50.0f}});
    runBuffer({{state.ChannelFrequency[0], 50.0f}});
    EXPECT_EQ(chain.channelShown()[0], 0);
    EXPECT_EQ(chain.channelShown()[1], 0);
}

TEST_F(LevelChainTest, OutOfRangeChannelIsNeverProcessed) {
    state.ChannelThreshold[5] = 0.0f;
    runBuffer({});
    ASSERT_EQ(chain.lightPattern(), 1 << 5);
    const int lampUpdates = view.lampUpdates;
    for (int frequency : {0, 256, -4}) {
        state.ChannelFrequency[5] = static_cast<std::int16_t>(frequency);
        runBuffer({{0, 255.0f}});
        EXPECT_EQ(chain.lightPattern(), 0) << frequency;
        EXPECT_TRUE(chain.channelLit()[5]) << "lamp keeps its last state";
        EXPECT_EQ(view.lampUpdates, lampUpdates);
    }
}

TEST_F(LevelChainTest, SteadyPatternIsWrittenOnceAndSignalsOnlyOnChangeToNonZero) {
    lightOnlyOnSilence(0);
    runBuffer({});
    runBuffer({});
    EXPECT_TRUE(device.calls.empty());  // dark from the start: nothing to write
    EXPECT_FALSE(state.SignalSeen);

    lightOnlyOnSilence(0b101);
    runBuffer({});
    EXPECT_TRUE(state.SignalSeen);
    state.SignalSeen = false;
    runBuffer({});
    runBuffer({});
    EXPECT_FALSE(state.SignalSeen);  // a steady pattern looks like silence
    ASSERT_EQ(device.calls.size(), 2u);
    EXPECT_EQ(device.calls[0].kind, FakeLightDevice::Call::kOut);
    EXPECT_EQ(device.calls[1].kind, FakeLightDevice::Call::kInfra);
    EXPECT_EQ(view.statusUpdates, 1);
    EXPECT_TRUE(view.connected);

    lightOnlyOnSilence(0);
    device.connected = false;
    runBuffer({});
    EXPECT_FALSE(state.SignalSeen);
    ASSERT_EQ(device.outWrites().size(), 2u);
    EXPECT_EQ(device.outWrites()[1], (PortBytes{0, 0, 0, 3}));
    EXPECT_FALSE(view.connected);
    EXPECT_EQ(chain.lastPattern(), 0);
}

TEST_F(LevelChainTest, PatternsAreWrittenWithTheBoardSplit) {
    for (const std::uint8_t pattern : {64, 128, 63, 192, 255}) {
        lightOnlyOnSilence(pattern);
        runBuffer({});
        ASSERT_FALSE(device.outWrites().empty());
        EXPECT_EQ(device.outWrites().back(), portBytesForPattern(pattern)) << int{pattern};
    }
}

}  // namespace
}  // namespace kalindor
