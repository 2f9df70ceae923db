// Timers that come late by seconds (the clock jumped, the loop was blocked): each overdue timer
// fires once, capture, pipeline and automaton carry on from where they were.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "engine/Capture.h"
#include "engine/ControlUpdates.h"
#include "engine/Engine.h"
#include "engine/PollEventLoop.h"
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

class ClockJumpTest : public ::testing::Test {
  protected:
    ClockJumpTest() : engine(state, view, device, input, timers) {
        applyStartupDefaults(state);
        setEffectSpeed(state, 1);  // 100 ms per effect step
        setDecaySpeed(state, 10);  // a tone's held point falls below its threshold in 11 buffers
        engine.applyTimerPeriods();
    }

    // Music whose lights keep changing (a steady pattern would look like silence to the
    // automaton): 12 buffers of a tone for channel 3, then 12 for channel 1, and so on.
    void keepMusicReady() {
        input.pending.clear();
        for (int i = 0; i < 2000; ++i) {
            input.deliver(
                test::cosineOnBin((i / 12) % 2 == 0 ? test::kBinOfChannel3 : test::kBinOfChannel1));
        }
    }

    // Keeps more buffers ready than any test consumes, so every tick completes at once and the
    // number processed counts the ticks.
    void keepBuffersReady(const test::SampleBuffer& buffer) {
        input.pending.clear();
        for (int i = 0; i < 2000; ++i) {
            input.deliver(buffer);
        }
    }

    std::uint64_t buffers() { return engine.capture().buffersProcessed(); }
    std::size_t writes() const { return device.outWrites().size(); }

    SharedState state;
    RecordingView view;
    FakeLightDevice device;
    FakeSoundInput input;
    VirtualTimerPort timers;
    Engine engine;
};

TEST_F(ClockJumpTest, DuringMusicEachTimerFiresOnceAndTheLightsFollowTheMusicAfterwards) {
    keepMusicReady();
    ASSERT_FALSE(engine.start());
    timers.advance(1000);
    EXPECT_EQ(buffers(), 20u);
    EXPECT_NE(engine.pipeline().lightPattern(), 0);
    const std::size_t writesBefore = writes();

    timers.jump(10'000);
    timers.advance(1);
    EXPECT_EQ(buffers(), 21u) << "one capture tick for ten late seconds, not two hundred";
    EXPECT_LE(writes(), writesBefore + 1);

    timers.advance(3000);
    EXPECT_EQ(buffers(), 81u);
    EXPECT_FALSE(engine.timer3().enabled()) << "changing lights keep the effects off";
    EXPECT_NE(engine.pipeline().lightPattern(), 0);
}

TEST_F(ClockJumpTest, DuringEffectsOneStepComesForTheJumpAndTheEffectContinuesInOrder) {
    keepBuffersReady(test::silenceBuffer());
    ASSERT_FALSE(engine.start());
    timers.advance(1050);  // the no-signal check at 1000 ms has started the effects
    ASSERT_TRUE(engine.timer3().enabled());
    timers.advance(300);
    const int stepBefore = engine.automaton().effectStep();
    const std::size_t writesBefore = writes();
    const std::uint64_t buffersBefore = buffers();

    timers.jump(30'000);
    timers.advance(1);
    EXPECT_EQ(writes(), writesBefore + 1) << "one effect step for thirty late seconds";
    EXPECT_EQ(buffers(), buffersBefore + 1);
    EXPECT_EQ(engine.automaton().effectStep(), stepBefore + 1) << "running fire goes on upward";

    timers.advance(1000);
    EXPECT_EQ(writes(), writesBefore + 11);

    // The music comes back: the automaton hands the lights back at the next checks.
    keepMusicReady();
    timers.advance(2100);
    EXPECT_FALSE(engine.timer3().enabled());
    EXPECT_NE(engine.pipeline().lightPattern(), 0);
}

// The headless loop on the real clock: a callback that blocks the loop for a second makes the
// other timer late by fifty periods; it fires once when the loop is free again.
TEST(PollEventLoopStall, ATimerLateBySecondsFiresOnceThenKeepsItsPeriod) {
    PollEventLoop loop;
    std::vector<std::int64_t> ticks;
    auto fast = loop.createTimer([&] { ticks.push_back(loop.nowMs()); });
    fast->setInterval(20);
    fast->setEnabled(true);
    std::int64_t stallEnd = 0;
    std::unique_ptr<Timer> stall;
    stall = loop.createTimer([&] {
        stall->setEnabled(false);
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        stallEnd = loop.nowMs();
    });
    stall->setInterval(50);
    stall->setEnabled(true);
    auto end = loop.createTimer([&] { loop.quit(); });
    end->setInterval(1300);
    end->setEnabled(true);

    EXPECT_EQ(loop.run(), 0);
    ASSERT_GT(stallEnd, 0);
    int inFirstPeriod = 0;
    int afterStall = 0;
    for (const std::int64_t t : ticks) {
        inFirstPeriod += (t >= stallEnd && t < stallEnd + 15) ? 1 : 0;
        afterStall += t >= stallEnd ? 1 : 0;
    }
    EXPECT_LE(inFirstPeriod, 1);
    EXPECT_GE(afterStall, 5);
    EXPECT_LE(afterStall, 18) << "about 250 ms at 20 ms per tick";
}

}  // namespace
}  // namespace kalindor
