#include "dsp/LevelChain.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <vector>

#include "core/ControlUpdates.h"
#include "support/FakeLightDevice.h"
#include "support/RecordingView.h"

namespace kalindor {
namespace {

using test::FakeLightDevice;

class LevelChainTest : public ::testing::Test {
  protected:
    LevelChainTest() { applyStartupDefaults(state); }

    // One buffer in which point p has the held level levels[p] (0 elsewhere).
    void runBuffer(const std::map<int, float>& levels = {}) {
        std::array<std::uint8_t, 256> channels{};
        channelsByPoint(state, channels);
        chain.startBuffer();
        for (int p = 1; p <= 255; ++p) {
            const auto it = levels.find(p);
            chain.pointStep(p, it == levels.end() ? 0.0f : it->second, channels[p]);
        }
        chain.outputStep();
    }

    SharedState state;
    test::RecordingView view;
    FakeLightDevice device;
    LevelChain chain{state, view, device};
};

// Channel 2 at its start-up threshold 0.55 * 255 = 140.25 (as a float product), one buffer per
// row in order: the bar rounds halves to even and is touched only when its value changes.
TEST_F(LevelChainTest, ThresholdIsInclusiveAndBarsRoundHalvesToEven) {
    const float below = std::nextafter(140.25f, 0.0f);
    const struct {
        float level;
        int bar;
        bool lit;
        bool barTouched;
    } rows[] = {{0.0f, 0, false, false},     {140.25f, 140, true, true}, {below, 140, false, true},
                {140.0f, 140, false, false}, {2.5f, 2, false, true},     {3.5f, 4, false, true},
                {4.0f, 4, false, false},     {4.25f, 4, false, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.level);
        const int updates = view.barUpdates;
        runBuffer({{state.ChannelFrequency[2], row.level}});
        EXPECT_EQ(view.bars[2], row.bar);
        EXPECT_EQ(view.barUpdates - updates, row.barTouched ? 1 : 0);
        EXPECT_EQ(chain.lightPattern(), row.lit ? 4 : 0);
        EXPECT_EQ(view.lamps[2], row.lit ? kYellow : kBlack);
    }
}

TEST_F(LevelChainTest, AgcPeakIsPreGainAnEmptyPeriodGives178Point5AndCountsOnlyWhileOn) {
    state.AgcEnabled = true;
    state.AgcSpeed = 255;  // one update at the end of every buffer
    setGain(state, 0, 1);  // 4.0: the peak must not see it
    const int p = state.ChannelFrequency[0];
    runBuffer({{p, 50.0f}});
    EXPECT_FLOAT_EQ(chain.agcGain(), 255.0f / 50.0f * 0.7f);
    EXPECT_EQ(chain.lightPattern(), 0);  // gain 0 until that first update

    runBuffer({{p, 50.0f}});  // e = 3.57 * 200 lights white and fills the bar
    EXPECT_EQ(chain.lightPattern(), 1);
    EXPECT_EQ(view.lamps[0], kWhite);
    EXPECT_EQ(view.bars[0], 255);
    runBuffer();
    EXPECT_FLOAT_EQ(chain.agcGain(), 178.5f);
    EXPECT_EQ(view.lamps[0], kBlack);

    state.AgcSpeed = 5000;
    state.AgcEnabled = false;
    runBuffer({{p, 10.0f}});
    EXPECT_EQ(chain.agcCounter(), 0);
    state.AgcEnabled = true;
    runBuffer({{p, 10.0f}});
    EXPECT_EQ(chain.agcCounter(), 255);
    state.AgcEnabled = false;
    runBuffer({{p, 10.0f}});
    EXPECT_EQ(chain.agcCounter(), 255);
    EXPECT_FLOAT_EQ(chain.agcGain(), 178.5f);
}

// One buffer per row, every channel at threshold 0 (lit) or above its silent level (dark).
TEST_F(LevelChainTest, ChangedPatternsAreWrittenProbedAndSignalled) {
    const struct {
        std::uint8_t pattern;
        bool connected;
        bool written;
        bool signal;
    } rows[] = {{0, true, false, false},  {5, true, true, true},   {5, true, false, false},
                {64, true, true, true},   {128, true, true, true}, {63, true, true, true},
                {192, false, true, true}, {0, false, true, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(int{row.pattern});
        for (int ch = 0; ch < kChannelCount; ++ch) {
            state.ChannelThreshold[ch] = (row.pattern >> ch) & 1 ? 0.0f : 0.05f;
        }
        device.connected = row.connected;
        device.calls.clear();
        state.SignalSeen = false;
        runBuffer();
        EXPECT_EQ(state.SignalSeen, row.signal);
        using Call = FakeLightDevice::Call;
        const std::vector<Call> expected = {{Call::kOut, portBytesForPattern(row.pattern)},
                                            {Call::kInfra, {}}};
        EXPECT_EQ(device.calls, row.written ? expected : std::vector<Call>{});
        if (row.written) {
            EXPECT_EQ(view.connected, row.connected);
        }
    }
    EXPECT_EQ(view.statusUpdates, 6);
}

}  // namespace
}  // namespace kalindor
