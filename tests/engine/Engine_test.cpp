#include "engine/Engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "capture/Capture.h"
#include "core/ControlUpdates.h"
#include "platform/PollEventLoop.h"
#include "support/FakeLightDevice.h"
#include "support/FakeSoundInput.h"
#include "support/RecordingView.h"
#include "support/SampleBuffers.h"
#include "support/VirtualTimerPort.h"

namespace kalindor {
namespace {

using test::FakeLightDevice;
using test::FakeSoundInput;
using Call = FakeLightDevice::Call;
using Log = std::vector<std::string>;

class EngineTest : public ::testing::Test {
  protected:
    // The engine creates Timer1, Timer2, Timer3 and then the capture's wait timer (not logged).
    EngineTest() : engine(state, view, device, input, timers) {
        timers.onSetEnabled = [this](int creation, bool enabled) {
            if (creation < 3) {
                log.push_back("Timer" + std::to_string(creation + 1) + (enabled ? " on" : " off"));
            }
        };
        input.onCall = [this](FakeSoundInput::Call call) {
            if (call == FakeSoundInput::Call::kClose) {
                log.push_back("input closed");
            }
        };
        applyStartupDefaults(state);
        engine.applyTimerPeriods();
        engine.setInputLostHandler([this](const std::string& detail) { losses.push_back(detail); });
    }

    // Keeps one buffer ready for every tick from now on.
    void feed(const test::SampleBuffer& buffer) { input.pending.assign(2000, buffer); }

    Log log;
    SharedState state;
    test::RecordingView view;
    FakeLightDevice device;
    FakeSoundInput input;
    test::VirtualTimerPort timers;
    Engine engine;
    std::vector<std::string> losses;
};

TEST_F(EngineTest, StartEnablesTimer1ThenTimer2AndPreparesTheDeviceWhenConnected) {
    for (const bool connected : {true, false}) {
        SCOPED_TRACE(connected);
        state.NoSignalSeconds = 10;
        device = FakeLightDevice{};
        device.connected = connected;
        log.clear();
        EXPECT_FALSE(engine.start());
        EXPECT_TRUE(engine.inputOpen());
        EXPECT_EQ(log, (Log{"Timer1 on", "Timer2 on"}));
        EXPECT_EQ(engine.timer1().interval(), 50);
        EXPECT_EQ(engine.timer2().interval(), 10000);
        const std::vector<Call> prepared = {
            {Call::kInfra, {}}, {Call::kDirections, {255, 255, 0, 3}}, {Call::kOut, {0, 0, 0, 3}}};
        const std::vector<Call> probed = {{Call::kInfra, {}}};
        EXPECT_EQ(device.calls, connected ? prepared : probed);
        EXPECT_EQ(view.connected, connected);
        engine.stop();
    }
    EXPECT_EQ(view.statusUpdates, 2);
}

TEST_F(EngineTest, AFailedStartReturnsTheDetailAndChangesNothingElse) {
    input.openFailure = "PulseAudio: No such entity";
    feed(test::silenceBuffer());
    EXPECT_EQ(engine.start(), std::optional<std::string>("PulseAudio: No such entity"));
    EXPECT_FALSE(engine.inputOpen());
    timers.advance(5000);
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(device.calls.empty());
    EXPECT_EQ(view.statusUpdates + view.clears, 0);
}

TEST_F(EngineTest, EachTickRunsOneBufferThroughThePipelineToTheDevice) {
    ASSERT_FALSE(engine.start());
    device.calls.clear();
    input.deliver(test::silenceBuffer());
    input.deliver(test::cosineOnBin(test::kBinOfChannel3));
    timers.advance(100);
    EXPECT_EQ(view.clears, 2);
    EXPECT_EQ(device.outWrites(), (std::vector<PortBytes>{{0, test::kChannel3Bit, 0, 3}}));
    EXPECT_TRUE(state.SignalSeen);
    EXPECT_EQ(engine.signalRaises(), 1u);
}

// Stop and a lost source end capture in the same order; nothing is processed afterwards; a
// new Start opens the input anew and the lights follow the music again.
TEST_F(EngineTest, StopAndALostSourceEndCaptureInOrderAndStartWorksAgain) {
    for (const bool lost : {false, true}) {
        SCOPED_TRACE(lost);
        feed(test::silenceBuffer());
        EXPECT_FALSE(engine.start());
        timers.advance(500);
        log.clear();
        if (lost) {
            input.pending.clear();
            input.silentForMs = 1200;
            input.failure = "PulseAudio: Connection terminated";
            timers.advance(200);
        } else {
            engine.stop();
        }
        EXPECT_EQ(log, (Log{"Timer1 off", "Timer2 off", "Timer3 off", "input closed"}));
        EXPECT_FALSE(engine.inputOpen());
        const int clears = view.clears;
        timers.advance(5000);
        EXPECT_EQ(view.clears, clears);
    }
    EXPECT_EQ(losses, Log{"PulseAudio: Connection terminated"});
    input.failure.clear();
    input.silentForMs = 0;
    feed(test::cosineOnBin(test::kBinOfChannel1));
    ASSERT_FALSE(engine.start());
    timers.advance(1000);
    EXPECT_EQ(engine.pipeline().lightPattern(), test::kChannel1Bit);
    EXPECT_EQ(std::count(input.calls.begin(), input.calls.end(), FakeSoundInput::Call::kOpen), 3);
}

// Setting an interval restarts a timer's period: controls that re-apply unchanged periods
// must not postpone the no-signal check; a new scan period retimes Timer1 without a restart.
TEST_F(EngineTest, PeriodsChangeOnlyWhatChangedWhileRunning) {
    ASSERT_FALSE(engine.start());
    feed(test::silenceBuffer());
    for (int i = 0; i < 4; ++i) {
        timers.advance(300);
        engine.applyTimerPeriods();
    }
    EXPECT_TRUE(engine.timer3().enabled());
    const int clears = view.clears;
    log.clear();
    state.ScanPeriodMs = 100;
    engine.applyTimerPeriods();
    EXPECT_TRUE(log.empty());
    timers.advance(1000);
    EXPECT_EQ(view.clears, clears + 10);
}

TEST_F(EngineTest, Timer2AndTimer3DriveTheAutomatonAndItsStepsReachTheDevice) {
    state.EffectIntervalMs = 200;
    engine.applyTimerPeriods();
    ASSERT_FALSE(engine.start());
    device.calls.clear();
    feed(test::silenceBuffer());
    timers.advance(1000);  // first no-signal check: silence, effects on
    EXPECT_TRUE(engine.timer3().enabled());
    EXPECT_TRUE(device.outWrites().empty());
    timers.advance(400);  // two effect steps: running fire at channel 0, then 1
    EXPECT_EQ(device.outWrites(), (std::vector<PortBytes>{{0, 1, 0, 3}, {0, 2, 0, 3}}));

    // Thirty late seconds (a clock jump): one more step, not a burst, and then on in order.
    timers.jump(30'000);
    timers.advance(1);
    EXPECT_EQ(device.outWrites().size(), 3u);
    EXPECT_EQ(device.outWrites().back(), (PortBytes{0, 4, 0, 3}));
}

// The headless loop on the real clock: a tick that blocks the loop for a second leaves its
// timer fifty periods late; it fires once when the loop is free again, not in a burst, and
// then keeps its period, however loaded the machine.
TEST(PollEventLoopStall, ATimerLateBySecondsFiresOnceThenKeepsItsPeriod) {
    PollEventLoop loop;
    std::int64_t stallEnd = 0;
    std::vector<std::int64_t> after;
    auto timer = loop.createTimer([&] {
        if (stallEnd == 0) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            stallEnd = loop.nowMs();
        } else {
            after.push_back(loop.nowMs());
        }
        if (loop.nowMs() >= stallEnd + 250) {
            loop.quit();
        }
    });
    timer->setInterval(20);
    timer->setEnabled(true);
    EXPECT_EQ(loop.run(), 0);
    ASSERT_FALSE(after.empty());
    EXPECT_GE(after.size() < 2 ? 20 : after[1] - after[0], 20);
    EXPECT_LE(after.size(), static_cast<std::size_t>((after.back() - stallEnd) / 20 + 2));
}

}  // namespace
}  // namespace kalindor
