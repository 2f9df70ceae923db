// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/Capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "capture/SampleRing.h"
#include "support/FakeSoundInput.h"
#include "support/VirtualTimerPort.h"

namespace kalindor {
namespace {

using test::FakeSoundInput;

// Capture with its tick timer on a virtual clock, recording every processed buffer as
// "<first sample>@<ms>" and every loss reported.
struct CaptureRig {
    // Opens the input and drives the capture tick from a periodic timer, as Timer1 does.
    void startTicking(int periodMs) {
        capture.setSourceLostHandler([this](const std::string& text) { losses.push_back(text); });
        EXPECT_TRUE(capture.open().has_value());
        tick = timers.createTimer([this] { capture.CaptureTick(); });
        tick->setInterval(periodMs);
        tick->setEnabled(true);
    }

    FakeSoundInput input;
    test::VirtualTimerPort timers;
    std::vector<std::string> processed;
    std::vector<std::string> losses;
    Capture capture{
        input, timers, [this](const std::uint8_t* samples) {
            processed.push_back(std::to_string(samples[0]) + "@" + std::to_string(timers.nowMs()));
        }};
    std::unique_ptr<Timer> tick;
};

// A ready buffer is processed within its tick; a tick without one waits on a timer for the
// time the rest needs, again when that was too early; ticks meanwhile are skipped.
TEST(Capture, TicksTakeReadyBuffersAwaitMissingOnesAndSkipWhileWaiting) {
    CaptureRig rig;
    rig.startTicking(30);
    rig.input.deliverFilled(7);
    rig.input.readyInMs = 45;
    rig.timers.advance(90);  // processed at 30, request at 60, skipped tick at 90
    rig.input.readyInMs = 8;
    rig.timers.advance(15);  // the wait ends at 105 with nothing there: waits 8 ms more
    EXPECT_TRUE(rig.capture.requestOutstanding());
    rig.input.deliverFilled(3);
    rig.timers.advance(8);
    EXPECT_EQ(rig.processed, (std::vector<std::string>{"7@30", "3@113"}));
    EXPECT_FALSE(rig.capture.requestOutstanding());
    EXPECT_EQ(rig.capture.ticksSkipped(), 1u);
    EXPECT_EQ(rig.capture.ticks(), 3u);
}

TEST(Capture, StopProcessesTheBufferInFlightCloseDropsItAndOpenStartsAfresh) {
    CaptureRig rig;
    rig.startTicking(50);
    rig.input.deliverFilled(5);
    rig.timers.advance(150);  // processed at 50, outstanding from 100, skipped at 150
    ASSERT_EQ(rig.capture.ticksSkipped(), 1u);
    rig.tick->setEnabled(false);
    rig.capture.stop();
    EXPECT_FALSE(rig.capture.inputOpen());
    EXPECT_EQ(rig.processed, (std::vector<std::string>{"5@50", "5@150"}));  // the same buffer
    rig.input.deliverFilled(6);
    rig.timers.advance(1000);  // the wait was cancelled
    EXPECT_EQ(rig.processed.size(), 2u);

    rig.capture.stop();                           // nothing outstanding: nothing processed
    ASSERT_TRUE(rig.capture.open().has_value());  // the counts start afresh
    EXPECT_EQ(rig.capture.ticks() + rig.capture.ticksSkipped() + rig.capture.buffersProcessed(),
              0u);
    rig.input.pending.clear();
    rig.capture.CaptureTick();
    ASSERT_TRUE(rig.capture.requestOutstanding());
    rig.capture.close();
    rig.timers.advance(1000);
    EXPECT_EQ(rig.processed.size(), 2u);
    EXPECT_FALSE(rig.capture.inputOpen());
}

// A source silent for a second, a failure the backend reports and the end of a finite source
// each end the request and are reported once, with the reason.
TEST(Capture, ALostSourceIsReportedOnceWithItsReason) {
    enum Loss { kSilent, kFailure, kEnded };
    const std::pair<Loss, std::string> rows[] = {
        {kSilent, "no sound data has arrived for more than a second"},
        {kFailure, "PulseAudio: No such entity"},
        {kEnded, "the end of the input was reached"}};
    for (const auto& [loss, detail] : rows) {
        SCOPED_TRACE(detail);
        CaptureRig rig;
        rig.startTicking(50);
        rig.input.silentForMs = 999;
        rig.timers.advance(58);  // request at 50, still waiting at 58
        EXPECT_TRUE(rig.losses.empty());
        if (loss == kSilent) {
            rig.input.silentForMs = 1000;
        } else if (loss == kFailure) {
            rig.input.failure = detail;
        } else {
            rig.input.deliverFilled(2);  // the last buffer is still processed
            rig.input.hasEnded = true;
            rig.timers.advance(50);
            EXPECT_EQ(rig.processed.size(), 1u);
        }
        rig.timers.advance(50);
        EXPECT_EQ(rig.losses, std::vector<std::string>{detail});
        EXPECT_FALSE(rig.capture.requestOutstanding());
        rig.timers.advance(500);  // the handler did not stop the ticks: nothing more
        EXPECT_EQ(rig.losses.size(), 1u);
    }
}

using Snapshot = std::array<std::uint8_t, SampleRing::kSnapshot>;

// Writes samples from..to-1 of a stream numbered modulo 251 (prime, so that a wrong offset
// shows as a wrong value).
void writeNumbered(SampleRing& ring, std::uint64_t from, std::uint64_t to) {
    for (std::uint64_t n = from; n < to; ++n) {
        const auto sample = static_cast<std::uint8_t>(n % 251);
        ring.write(&sample, 1);
    }
}

// The stream position the snapshot starts at (mod 251), or -1 when it is not one unbroken run.
int startOf(const Snapshot& snapshot) {
    for (std::size_t i = 1; i < snapshot.size(); ++i) {
        if (snapshot[i] != (snapshot[0] + i) % 251) {
            return -1;
        }
    }
    return snapshot[0];
}

TEST(SampleRing, TakesTheNewestSnapshotOnceEnoughFreshSamplesArrived) {
    SampleRing ring;
    Snapshot out{};
    EXPECT_EQ(ring.msUntilSnapshotReady(), 8);
    writeNumbered(ring, 0, 255);
    EXPECT_FALSE(ring.takeNewest(out.data()));
    EXPECT_EQ(ring.msUntilSnapshotReady(), 1);  // one sample missing rounds up to 1 ms
    writeNumbered(ring, 255, 256);
    EXPECT_EQ(ring.msUntilSnapshotReady(), 0);
    ASSERT_TRUE(ring.takeNewest(out.data()));
    EXPECT_EQ(startOf(out), 0);
    // Samples taken once never count again: the next snapshot needs 256 new ones.
    writeNumbered(ring, 256, 456);
    EXPECT_FALSE(ring.takeNewest(out.data()));
    EXPECT_EQ(ring.msUntilSnapshotReady(), 2);  // 56 samples = 1.75 ms
    // Far more than the capacity: the newest 256 across the wrap, the older ones skipped.
    const std::uint64_t total = 3 * SampleRing::kCapacity + 777;
    writeNumbered(ring, 456, total);
    ASSERT_TRUE(ring.takeNewest(out.data()));
    EXPECT_EQ(startOf(out), (total - 256) % 251);
    EXPECT_EQ(ring.totalWritten(), total);
    ring.write(nullptr, 256);  // a hole is silence
    ASSERT_TRUE(ring.takeNewest(out.data()));
    EXPECT_EQ(std::count(out.begin(), out.end(), 128), 256);
}

}  // namespace
}  // namespace kalindor
