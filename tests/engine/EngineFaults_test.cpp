// The engine (capture, pipeline, automaton) on a virtual clock when its surroundings fail.
// The sound source disappears mid-buffer (device pulled, server restarted) and comes back:
// capture stops as Stop does, the user hears once, nothing hangs or spins, and a new Start
// captures and lights again. Timers come late by seconds (the clock jumped, the loop was
// blocked): each overdue timer fires once, and capture, pipeline and automaton carry on.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "capture/Capture.h"
#include "core/ControlUpdates.h"
#include "engine/Engine.h"
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
using test::RecordingView;
using test::VirtualTimerPort;

class EngineFaultsTest : public ::testing::Test {
  protected:
    EngineFaultsTest() : engine(state, view, device, input, timers) {
        applyStartupDefaults(state);
        engine.applyTimerPeriods();
        engine.setInputLostHandler([this](const std::string& detail) {
            losses.push_back(detail);
            lossAtMs.push_back(timers.nowMs());
        });
    }

    void useFastEffectsAndDecay() {
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

    // `ms` of music, one buffer per 50 ms tick, the source reporting fresh data.
    void playMusic(int ms) {
        for (int t = 0; t < ms; t += 50) {
            input.silentForMs = 0;
            input.deliver(test::cosineOnBin(test::kBinOfChannel3));
            timers.advance(50);
        }
    }

    // `ms` with the source delivering nothing, its silence growing with the clock, in 5 ms
    // steps so the wait timer's wake-ups are all seen.
    void sourceGone(int ms) {
        const std::int64_t goneAt = timers.nowMs();
        for (int t = 0; t < ms; t += 5) {
            input.silentForMs = timers.nowMs() - goneAt;
            timers.advance(5);
        }
    }

    int takes() const {
        int count = 0;
        for (const auto call : input.calls) {
            count += call == FakeSoundInput::Call::kTake ? 1 : 0;
        }
        return count;
    }

    SharedState state;
    RecordingView view;
    FakeLightDevice device;
    FakeSoundInput input;
    VirtualTimerPort timers;
    Engine engine;
    std::vector<std::string> losses;
    std::vector<std::int64_t> lossAtMs;
};

TEST_F(EngineFaultsTest, SourceLostMidBufferStopsCaptureOnceAndANewStartCapturesAgain) {
    ASSERT_TRUE(engine.start());
    playMusic(2000);
    EXPECT_EQ(engine.pipeline().lightPattern(), test::kChannel3Bit);
    const std::uint64_t buffersBefore = engine.capture().buffersProcessed();

    // The next tick finds half a buffer and then nothing more.
    input.failure = "the sound server went away";
    const std::int64_t goneAt = timers.nowMs();
    sourceGone(3000);

    ASSERT_EQ(losses.size(), 1u);
    EXPECT_EQ(losses[0], "the sound server went away");
    EXPECT_LE(lossAtMs[0] - goneAt, Capture::kSourceLostAfterMs + 100);
    EXPECT_FALSE(engine.inputOpen());
    EXPECT_FALSE(engine.timer1().enabled());
    EXPECT_FALSE(engine.timer2().enabled());
    EXPECT_FALSE(engine.timer3().enabled());
    EXPECT_FALSE(engine.capture().requestOutstanding());
    EXPECT_LE(engine.capture().buffersProcessed(), buffersBefore + 1);
    // While waiting, the input was asked at its own pace (about every 8 ms), never in a spin,
    // and once stopped, not at all.
    const int takesWhileGone = takes();
    EXPECT_LT(takesWhileGone, 2000 / 8 + 200);
    timers.advance(2000);
    EXPECT_EQ(takes(), takesWhileGone);

    // The source is back: Start works again and the lights follow the music.
    input.failure.clear();
    ASSERT_TRUE(engine.start());
    EXPECT_TRUE(engine.inputOpen());
    for (int i = 0; i < 20; ++i) {
        input.silentForMs = 0;
        input.deliver(test::cosineOnBin(test::kBinOfChannel1));
        timers.advance(50);
    }
    EXPECT_GE(engine.capture().buffersProcessed(), 19u);
    EXPECT_EQ(engine.pipeline().lightPattern() & test::kChannel1Bit, test::kChannel1Bit);

    // A second loss in the new run is reported again, once.
    sourceGone(1500);
    EXPECT_EQ(losses.size(), 2u);
    EXPECT_FALSE(engine.inputOpen());
}

TEST_F(EngineFaultsTest, SourceLossShortDropoutsBelowASecondDoNotStopCapture) {
    ASSERT_TRUE(engine.start());
    for (int round = 0; round < 5; ++round) {
        playMusic(500);
        sourceGone(700);
    }
    playMusic(500);
    EXPECT_TRUE(losses.empty());
    EXPECT_TRUE(engine.inputOpen());
    EXPECT_TRUE(engine.timer1().enabled());
    EXPECT_EQ(engine.pipeline().lightPattern(), test::kChannel3Bit);
}

TEST_F(EngineFaultsTest,
       ClockJumpDuringMusicEachTimerFiresOnceAndTheLightsFollowTheMusicAfterwards) {
    useFastEffectsAndDecay();
    keepMusicReady();
    ASSERT_TRUE(engine.start());
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

TEST_F(EngineFaultsTest, ClockJumpDuringEffectsOneStepComesForTheJumpAndTheEffectContinuesInOrder) {
    useFastEffectsAndDecay();
    keepBuffersReady(test::silenceBuffer());
    ASSERT_TRUE(engine.start());
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

    EXPECT_EQ(loop.run().value(), 0);
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
