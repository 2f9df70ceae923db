#include "engine/Engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "capture/Capture.h"
#include "core/ControlUpdates.h"
#include "support/FakeLightDevice.h"
#include "support/FakeSoundInput.h"
#include "support/RecordingView.h"
#include "support/SampleBuffers.h"
#include "support/VirtualTimerPort.h"

namespace kalindor {
namespace {

using test::FakeLightDevice;
using test::FakeSoundInput;
using test::RecordingView;
using test::VirtualTimerPort;
using Call = FakeLightDevice::Call;

class EngineTest : public ::testing::Test {
  protected:
    // The engine creates Timer1, Timer2, Timer3 and then the capture's wait timer (not logged).
    EngineTest() : engine(state, view, device, input, timers) {
        timers.onSetEnabled = [this](int creation, bool enabled) {
            if (creation < 3) {
                log.push_back("Timer" + std::to_string(creation + 1) + (enabled ? " on" : " off"));
            }
        };
        applyStartupDefaults(state);
        engine.applyTimerPeriods();
        engine.setInputLostHandler([this](const std::string& detail) { losses.push_back(detail); });
        input.onCall = [this](FakeSoundInput::Call call) {
            if (call == FakeSoundInput::Call::kClose) {
                log.push_back("input closed");
            }
        };
    }

    void advance(std::int64_t ms) { timers.advance(ms); }
    // Keeps one silent buffer ready for every tick over the next ms.
    void feedSilence(std::int64_t ms) {
        for (std::int64_t t = 0; t < ms; t += state.ScanPeriodMs) {
            input.deliver(test::silenceBuffer());
        }
    }

    std::vector<std::string> log;
    SharedState state;
    RecordingView view;
    FakeLightDevice device;
    FakeSoundInput input;
    VirtualTimerPort timers;
    Engine engine;
    std::vector<std::string> losses;
};

TEST_F(EngineTest, StartOpensEnablesTimer1AndTimer2AndPreparesTheDevice) {
    state.NoSignalSeconds = 10;
    ASSERT_TRUE(engine.start());
    EXPECT_TRUE(engine.inputOpen());
    EXPECT_EQ(log, (std::vector<std::string>{"Timer1 on", "Timer2 on"}));
    EXPECT_EQ(engine.timer1().interval(), 50);
    EXPECT_EQ(engine.timer2().interval(), 10000);
    EXPECT_FALSE(engine.timer3().enabled());
    EXPECT_EQ(device.calls, (std::vector<Call>{{Call::kInfra, {}},
                                               {Call::kDirections, {255, 255, 0, 3}},
                                               {Call::kOut, {0, 0, 0, 3}}}));
    EXPECT_TRUE(view.connected);
}

TEST_F(EngineTest, StartWithTheDeviceAbsentOnlyProbesAndShowsTheStatus) {
    device.connected = false;
    view.connected = true;
    ASSERT_TRUE(engine.start());
    EXPECT_EQ(device.calls, (std::vector<Call>{{Call::kInfra, {}}}));
    EXPECT_FALSE(view.connected);
    EXPECT_EQ(view.statusUpdates, 1);
}

TEST_F(EngineTest, AFailedStartReturnsTheDetailAndChangesNothingElse) {
    input.openFailure = "PulseAudio: No such entity";
    const Expected<void> started = engine.start();
    ASSERT_FALSE(started);
    EXPECT_EQ(started.error(), "PulseAudio: No such entity");
    EXPECT_FALSE(engine.inputOpen());
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(device.calls.empty());
    EXPECT_EQ(view.statusUpdates, 0);
    advance(5000);
    EXPECT_EQ(view.clears, 0);
}

TEST_F(EngineTest, EachTickRunsOneBufferThroughThePipelineToTheDevice) {
    ASSERT_TRUE(engine.start());
    device.calls.clear();
    input.deliver(test::silenceBuffer());
    input.deliver(test::cosineOnBin(test::kBinOfChannel3));
    advance(100);
    EXPECT_EQ(view.clears, 2);
    ASSERT_EQ(device.outWrites(), (std::vector<PortBytes>{{0, 8, 0, 3}}));
    EXPECT_EQ(engine.pipeline().lightPattern(), 8);
    EXPECT_TRUE(state.SignalSeen);
    EXPECT_EQ(engine.signalRaises(), 1u);
}

TEST_F(EngineTest, StopDisablesTheTimersInOrderThenClosesTheInput) {
    ASSERT_TRUE(engine.start());
    feedSilence(3000);
    advance(2500);  // the automaton has started Timer3 by now
    ASSERT_TRUE(engine.timer3().enabled());
    log.clear();
    engine.stop();
    EXPECT_EQ(log,
              (std::vector<std::string>{"Timer1 off", "Timer2 off", "Timer3 off", "input closed"}));
    EXPECT_FALSE(engine.inputOpen());
    const int clears = view.clears;
    const std::size_t writes = device.outWrites().size();
    advance(5000);
    EXPECT_EQ(view.clears, clears);
    EXPECT_EQ(device.outWrites().size(), writes);
}

TEST_F(EngineTest, ALostSourceStopsCaptureAsStopDoesAndIsReportedOnce) {
    ASSERT_TRUE(engine.start());
    feedSilence(500);
    advance(500);
    input.silentForMs = 1200;
    input.failure = "PulseAudio: Connection terminated";
    log.clear();
    advance(200);
    ASSERT_EQ(losses, (std::vector<std::string>{"PulseAudio: Connection terminated"}));
    EXPECT_EQ(log,
              (std::vector<std::string>{"Timer1 off", "Timer2 off", "Timer3 off", "input closed"}));
    EXPECT_FALSE(engine.inputOpen());
    advance(5000);
    EXPECT_EQ(losses.size(), 1u);
}

TEST_F(EngineTest, ScanPeriodChangeWhileRunningRetimesTimer1Only) {
    ASSERT_TRUE(engine.start());
    feedSilence(3000);
    advance(200);
    const int before = view.clears;
    EXPECT_EQ(before, 4);
    log.clear();
    state.ScanPeriodMs = 100;
    engine.applyTimerPeriods();
    EXPECT_TRUE(log.empty());  // nothing enabled or disabled
    EXPECT_TRUE(engine.timer1().enabled());
    advance(1000);
    EXPECT_EQ(view.clears, before + 10);
}

TEST_F(EngineTest, ReapplyingUnchangedPeriodsDoesNotPostponeTheNoSignalCheck) {
    ASSERT_TRUE(engine.start());
    feedSilence(3000);
    // A control moved every 300 ms re-applies the periods; Timer2 still ticks at 1000 ms.
    for (int i = 0; i < 4; ++i) {
        advance(300);
        engine.applyTimerPeriods();
    }
    EXPECT_TRUE(state.NoSignalMode);
    EXPECT_TRUE(engine.timer3().enabled());
}

TEST_F(EngineTest, Timer2AndTimer3DriveTheAutomatonAndItsStepsReachTheDevice) {
    state.EffectIntervalMs = 200;
    engine.applyTimerPeriods();
    ASSERT_TRUE(engine.start());
    device.calls.clear();
    feedSilence(1500);
    advance(1000);  // first no-signal check: silence, effects on
    EXPECT_TRUE(engine.timer3().enabled());
    EXPECT_TRUE(device.outWrites().empty());
    advance(400);  // two effect steps: running fire at channel 0, then 1
    EXPECT_EQ(device.outWrites(), (std::vector<PortBytes>{{0, 1, 0, 3}, {0, 2, 0, 3}}));
}

TEST_F(EngineTest, CloseDisablesTimer1AndClosesTheInput) {
    ASSERT_TRUE(engine.start());
    log.clear();
    engine.close();
    EXPECT_EQ(log, (std::vector<std::string>{"Timer1 off", "input closed"}));
    EXPECT_FALSE(engine.inputOpen());
}

TEST_F(EngineTest, StartAgainAfterStopOpensTheInputAnew) {
    ASSERT_TRUE(engine.start());
    engine.stop();
    ASSERT_TRUE(engine.start());
    EXPECT_TRUE(engine.inputOpen());
    EXPECT_EQ(std::count(input.calls.begin(), input.calls.end(), FakeSoundInput::Call::kOpen), 2);
    EXPECT_TRUE(engine.timer1().enabled());
    EXPECT_TRUE(engine.timer2().enabled());
}

}  // namespace
}  // namespace kalindor
