// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Engine.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
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
using Call = FakeLightDevice::Call;
using Log = std::vector<std::string>;

class EngineTest : public ::testing::Test {
  protected:
    // The engine creates Timer1, Timer2, Timer3 and then the capture's wait timer (Timer4 here).
    EngineTest() : engine(state, view, device, input, timers) {
        timers.onSetEnabled = [this](int creation, bool enabled) {
            log.push_back("Timer" + std::to_string(creation + 1) + (enabled ? " on" : " off"));
        };
        input.onClose = [this] { log.push_back("input closed"); };
        applyStartupDefaults(state);
        engine.applyTimerPeriods();
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
};

// Start opens the input, enables Timer1 then Timer2, and probes the device, preparing its ports
// when it is there; an input that cannot be opened leaves everything as it was. Stop ends
// capture in one order, and nothing is processed afterwards. (A lost source goes through the
// same stop; the window's test sees it.)
TEST_F(EngineTest, StartPreparesAConnectedDeviceAndStopEndsCaptureInOrder) {
    const std::vector<Call> prepared = {
        {Call::kInfra, {}}, {Call::kDirections, {255, 255, 0, 3}}, {Call::kOut, {0, 0, 0, 3}}};
    const std::tuple<bool, std::string, std::vector<Call>> cases[] = {
        {true, "", prepared}, {false, "", {{Call::kInfra, {}}}}, {false, "No such entity", {}}};
    for (const auto& [connected, failure, calls] : cases) {
        SCOPED_TRACE(failure);
        device = FakeLightDevice{};
        device.connected = connected;
        input.openFailure = failure.empty() ? std::nullopt : std::optional(failure);
        feed(test::silenceBuffer());
        log.clear();
        const auto started = engine.start();
        EXPECT_EQ(started ? "" : started.error(), failure);
        EXPECT_EQ(engine.inputOpen(), failure.empty());
        EXPECT_EQ(log, (failure.empty() ? Log{"Timer1 on", "Timer2 on"} : Log{}));
        EXPECT_EQ(device.calls, calls);
        EXPECT_EQ(view.connected, connected);
        timers.advance(500);
        log.clear();
        engine.stop();
        EXPECT_EQ(log,
                  (Log{"Timer1 off", "Timer2 off", "Timer3 off", "Timer4 off", "input closed"}));
        EXPECT_FALSE(engine.inputOpen());
        const int clears = view.clears;
        timers.advance(5000);
        EXPECT_EQ(view.clears, clears);
    }
}

// Each Timer1 tick runs one buffer through the pipeline to the device; after a silent no-signal
// period Timer2 starts the effects, whose steps on Timer3 reach the device too. Setting an
// interval restarts a timer's period: controls that re-apply unchanged periods must not
// postpone the no-signal check; a new scan period retimes Timer1 without a restart.
TEST_F(EngineTest, TicksRunBuffersToTheDeviceAndSilenceStartsTheEffects) {
    state.EffectIntervalMs = 200;
    engine.applyTimerPeriods();
    ASSERT_TRUE(engine.start());
    device.calls.clear();
    input.deliver(test::silenceBuffer());
    input.deliver(test::cosineOnBin(test::kBinOfChannel3));
    timers.advance(100);
    EXPECT_EQ(view.clears, 2);
    EXPECT_EQ(device.outWrites(), (std::vector<PortBytes>{{0, test::kChannel3Bit, 0, 3}}));
    EXPECT_EQ(engine.signalRaises(), 1u);

    feed(test::silenceBuffer());
    for (int i = 0; i < 19; ++i) {  // the check at 1000 ms saw the tone, the one at 2000 ms silence
        timers.advance(100);
        engine.applyTimerPeriods();
    }
    EXPECT_EQ(engine.signalRaises(), 1u) << "SignalSeen stood raised, but was raised only once";
    EXPECT_TRUE(engine.timer3().enabled());
    device.calls.clear();
    timers.advance(400);  // two effect steps: running fire at channel 0, then 1
    EXPECT_EQ(device.outWrites(), (std::vector<PortBytes>{{0, 1, 0, 3}, {0, 2, 0, 3}}));

    // Thirty late seconds (a clock jump): one more step, not a burst, and then on in order.
    timers.jump(30'000);
    timers.advance(1);
    EXPECT_EQ(device.outWrites().size(), 3u);
    EXPECT_EQ(device.outWrites().back(), (PortBytes{0, 4, 0, 3}));

    const int clears = view.clears;
    log.clear();
    state.ScanPeriodMs = 100;
    engine.applyTimerPeriods();
    EXPECT_TRUE(log.empty());
    timers.advance(1000);
    EXPECT_EQ(view.clears, clears + 10);
}

}  // namespace
}  // namespace kalindor
