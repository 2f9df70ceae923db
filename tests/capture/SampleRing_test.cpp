#include "capture/SampleRing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace kalindor {
namespace {

using Snapshot = std::array<std::uint8_t, SampleRing::kSnapshot>;

// Writes samples from..to-1 of a stream numbered modulo 251 (prime, so that a wrong offset
// shows as a wrong value), in pieces of 97.
void writeNumbered(SampleRing& ring, std::uint64_t from, std::uint64_t to) {
    std::array<std::uint8_t, 97> piece{};
    for (std::uint64_t n = from; n < to; n += piece.size()) {
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(97, to - n));
        for (std::size_t i = 0; i < count; ++i) {
            piece[i] = static_cast<std::uint8_t>((n + i) % 251);
        }
        ring.write(piece.data(), count);
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
    ring.reset();
    EXPECT_EQ(ring.totalWritten(), 0u);
    EXPECT_FALSE(ring.takeNewest(out.data()));
}

// A producer thread laps the ring many times while the main thread copies: every snapshot
// must still be one unbroken run. Until 200 snapshots or 5 s; a loaded machine checks fewer.
TEST(SampleRing, ConcurrentProducerNeverTearsASnapshot) {
    SampleRing ring;
    std::atomic<bool> stop{false};
    std::thread producer([&] {
        for (std::uint64_t n = 0; !stop.load(); n += 97) {
            writeNumbered(ring, n, n + 97);
        }
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    Snapshot out{};
    int taken = 0;
    int torn = 0;
    while (taken < 200 && std::chrono::steady_clock::now() < deadline) {
        if (ring.takeNewest(out.data())) {
            ++taken;
            torn += startOf(out) < 0 ? 1 : 0;
        }
    }
    stop.store(true);
    producer.join();
    EXPECT_EQ(torn, 0);
    EXPECT_GE(taken, 10);
}

}  // namespace
}  // namespace kalindor
