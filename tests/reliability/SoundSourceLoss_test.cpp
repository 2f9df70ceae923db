// The sound source disappears in the middle of a buffer (device pulled, server restarted) and
// comes back: capture stops as Stop does, the user hears once, nothing hangs or spins, and a new
// Start captures and lights again.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/Capture.h"
#include "engine/ControlUpdates.h"
#include "engine/Engine.h"
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

class SoundSourceLossTest : public ::testing::Test {
  protected:
    SoundSourceLossTest() : engine(state, view, device, input, timers) {
        applyStartupDefaults(state);
        engine.applyTimerPeriods();
        engine.setInputLostHandler([this](const std::string& detail) {
            losses.push_back(detail);
            lossAtMs.push_back(timers.nowMs());
        });
    }

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

TEST_F(SoundSourceLossTest, LossMidBufferStopsCaptureOnceAndANewStartCapturesAgain) {
    ASSERT_FALSE(engine.start());
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
    ASSERT_FALSE(engine.start());
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

TEST_F(SoundSourceLossTest, ShortDropoutsBelowASecondDoNotStopCapture) {
    ASSERT_FALSE(engine.start());
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

}  // namespace
}  // namespace kalindor
