#include "capture/Capture.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "support/FakeSoundInput.h"
#include "support/VirtualTimerPort.h"

namespace kalindor {
namespace {

using test::FakeSoundInput;
using test::VirtualTimerPort;

class CaptureTest : public ::testing::Test {
  protected:
    CaptureTest()
        : capture(input, timers, [this](const std::uint8_t* samples) {
              processed.push_back(samples[0]);
              processedAtMs.push_back(timers.nowMs());
          }) {
        capture.setSourceLostHandler(
            [this](const std::string& detail) { losses.push_back(detail); });
    }

    // Opens the input and drives the capture tick from a periodic timer, as Timer1 does.
    void startTicking(int periodMs) {
        ASSERT_TRUE(capture.open());
        tick = timers.createTimer([this] { capture.CaptureTick(); });
        tick->setInterval(periodMs);
        tick->setEnabled(true);
    }

    FakeSoundInput input;
    VirtualTimerPort timers;
    Capture capture;
    std::unique_ptr<Timer> tick;
    std::vector<std::uint8_t> processed;  // first sample of each processed buffer
    std::vector<std::int64_t> processedAtMs;
    std::vector<std::string> losses;
};

TEST_F(CaptureTest, ABufferThatIsReadyIsProcessedWithinTheTick) {
    startTicking(50);
    input.deliverFilled(7);
    timers.advance(50);
    ASSERT_EQ(processed, (std::vector<std::uint8_t>{7}));
    EXPECT_EQ(processedAtMs.front(), 50);
    EXPECT_EQ(capture.CaptureBuffer()[255], 7);
    EXPECT_FALSE(capture.requestOutstanding());
}

TEST_F(CaptureTest, AMissingBufferIsAwaitedOnATimerAndOverlappingTicksAreSkipped) {
    startTicking(30);
    input.readyInMs = 45;  // longer than a tick: the next tick comes while waiting
    timers.advance(30);
    EXPECT_TRUE(capture.requestOutstanding());
    EXPECT_TRUE(processed.empty());

    input.deliverFilled(3);
    timers.advance(30);  // t = 60: a tick while the request is outstanding
    EXPECT_EQ(capture.ticksSkipped(), 1u);
    EXPECT_TRUE(processed.empty());

    timers.advance(15);  // t = 75: the wait armed at t = 30 ends
    ASSERT_EQ(processed, (std::vector<std::uint8_t>{3}));
    EXPECT_EQ(processedAtMs.front(), 75);
    EXPECT_FALSE(capture.requestOutstanding());
    // The skipped tick took nothing: exactly one take succeeded.
    EXPECT_EQ(input.takesSucceeded, 1);
}

TEST_F(CaptureTest, AWaitThatEndsTooEarlyWaitsAgainWithoutProcessing) {
    startTicking(100);
    input.readyInMs = 8;
    timers.advance(100);
    timers.advance(8);  // nothing delivered yet: waits again
    timers.advance(8);
    EXPECT_TRUE(processed.empty());
    EXPECT_TRUE(capture.requestOutstanding());
    input.deliverFilled(9);
    timers.advance(8);
    EXPECT_EQ(processed, (std::vector<std::uint8_t>{9}));
    EXPECT_EQ(processedAtMs.front(), 124);
}

TEST_F(CaptureTest, StopWhileWaitingRunsThePipelineOnceOnTheBufferAsItStands) {
    startTicking(50);
    input.deliverFilled(5);
    timers.advance(50);  // buffer of 5s processed
    timers.advance(50);  // outstanding again
    ASSERT_TRUE(capture.requestOutstanding());

    tick->setEnabled(false);
    capture.stop();
    EXPECT_FALSE(capture.inputOpen());
    EXPECT_EQ(input.calls.back(), FakeSoundInput::Call::kClose);
    // The pipeline ran once more on the unchanged buffer, after the input was closed.
    EXPECT_EQ(processed, (std::vector<std::uint8_t>{5, 5}));

    // The wait timer was cancelled: nothing more is processed even if a buffer turns up.
    input.deliverFilled(6);
    timers.advance(1000);
    EXPECT_EQ(processed.size(), 2u);
}

TEST_F(CaptureTest, StopAndCloseWithoutAnOutstandingRequestProcessNothing) {
    startTicking(50);
    input.deliverFilled(1);
    timers.advance(50);
    capture.stop();
    EXPECT_EQ(processed.size(), 1u);

    ASSERT_TRUE(capture.open());
    timers.advance(50);  // outstanding
    capture.close();
    EXPECT_EQ(processed.size(), 1u);
    EXPECT_FALSE(capture.inputOpen());
}

TEST_F(CaptureTest, ASourceSilentForASecondIsReportedOnce) {
    startTicking(50);
    timers.advance(50);  // outstanding, waiting
    input.silentForMs = 999;
    timers.advance(8);
    EXPECT_TRUE(losses.empty());

    input.silentForMs = 1000;
    timers.advance(8);
    ASSERT_EQ(losses.size(), 1u);
    EXPECT_NE(losses.front().find("more than a second"), std::string::npos);
    EXPECT_FALSE(capture.requestOutstanding());

    // Ticks that keep coming (the handler did not stop the timer here) report nothing more.
    timers.advance(500);
    EXPECT_EQ(losses.size(), 1u);
    EXPECT_TRUE(processed.empty());
}

TEST_F(CaptureTest, AFailureTheBackendReportsEndsCaptureWithoutWaitingASecond) {
    startTicking(50);
    timers.advance(50);
    input.failure = "PulseAudio: No such entity";
    timers.advance(8);
    EXPECT_EQ(losses, (std::vector<std::string>{"PulseAudio: No such entity"}));
}

TEST_F(CaptureTest, AFiniteSourceThatEndedIsReportedAtOnce) {
    startTicking(50);
    input.deliverFilled(2);
    input.hasEnded = true;
    timers.advance(50);  // the last full buffer is still processed
    EXPECT_EQ(processed.size(), 1u);
    EXPECT_TRUE(losses.empty());
    timers.advance(50);
    ASSERT_EQ(losses.size(), 1u);
    EXPECT_NE(losses.front().find("end"), std::string::npos);
}

TEST_F(CaptureTest, AFailedOpenReturnsTheDetailAndTicksDoNothing) {
    input.openFailure = "PortAudio: no input device";
    const Expected<void> opened = capture.open();
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.error(), "PortAudio: no input device");
    EXPECT_FALSE(capture.inputOpen());
    capture.CaptureTick();
    EXPECT_FALSE(capture.requestOutstanding());
    EXPECT_EQ(input.calls, (std::vector<FakeSoundInput::Call>{FakeSoundInput::Call::kOpen}));
}

TEST_F(CaptureTest, ASecondOpenStartsCountingAfresh) {
    startTicking(50);
    input.deliverFilled(1);
    input.readyInMs = 60;
    timers.advance(150);  // processed at 50, outstanding from 100, skipped at 150
    EXPECT_EQ(capture.buffersProcessed(), 1u);
    EXPECT_EQ(capture.ticksSkipped(), 1u);
    capture.stop();
    ASSERT_TRUE(capture.open());
    EXPECT_EQ(capture.buffersProcessed(), 0u);
    EXPECT_EQ(capture.ticksSkipped(), 0u);
}

}  // namespace
}  // namespace kalindor
