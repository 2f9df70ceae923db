#include "capture/SampleRing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

namespace kalindor {
namespace {

using Snapshot = std::array<std::uint8_t, SampleRing::kSnapshot>;

// Sample n of a numbered stream; 251 is prime, so a wrong offset shows as a wrong value.
std::uint8_t numbered(std::uint64_t n) {
    return static_cast<std::uint8_t>(n % 251);
}

// Appends samples from..from+count-1 of the stream in pieces of at most 300.
void writeNumbered(SampleRing& ring, std::uint64_t from, std::uint64_t count) {
    std::vector<std::uint8_t> piece;
    for (std::uint64_t n = from; n < from + count; n += piece.size()) {
        piece.resize(static_cast<std::size_t>(std::min<std::uint64_t>(300, from + count - n)));
        for (std::size_t i = 0; i < piece.size(); ++i) {
            piece[i] = numbered(n + i);
        }
        ring.write(piece.data(), piece.size());
    }
}

// True when the snapshot is samples first..first+255 of the stream.
bool isNumberedFrom(const Snapshot& snapshot, std::uint64_t first) {
    for (std::size_t i = 0; i < snapshot.size(); ++i) {
        if (snapshot[i] != numbered(first + i)) {
            return false;
        }
    }
    return true;
}

TEST(SampleRing, TakesTheNewestSnapshotOnceEnoughFreshSamplesArrived) {
    SampleRing ring;
    Snapshot out{};
    EXPECT_EQ(ring.msUntilSnapshotReady(), 8);
    writeNumbered(ring, 0, 255);
    EXPECT_FALSE(ring.takeNewest(out.data()));
    EXPECT_EQ(ring.msUntilSnapshotReady(), 1);  // one sample missing rounds up to 1 ms
    writeNumbered(ring, 255, 1);
    EXPECT_EQ(ring.msUntilSnapshotReady(), 0);
    ASSERT_TRUE(ring.takeNewest(out.data()));
    EXPECT_TRUE(isNumberedFrom(out, 0));

    // Samples taken once never count again: the next snapshot needs 256 new ones.
    writeNumbered(ring, 256, 200);
    EXPECT_FALSE(ring.takeNewest(out.data()));
    EXPECT_EQ(ring.msUntilSnapshotReady(), 2);  // 56 samples = 1.75 ms
    // Far more than the capacity: the newest 256 across the wrap, the older ones skipped.
    const std::uint64_t total = 3 * SampleRing::kCapacity + 777;
    writeNumbered(ring, 456, total - 456);
    ASSERT_TRUE(ring.takeNewest(out.data()));
    EXPECT_TRUE(isNumberedFrom(out, total - SampleRing::kSnapshot));
    EXPECT_EQ(ring.totalWritten(), total);

    ring.write(nullptr, 256);  // a hole is silence
    ASSERT_TRUE(ring.takeNewest(out.data()));
    EXPECT_EQ(std::count(out.begin(), out.end(), 128), 256);
    writeNumbered(ring, 0, 300);
    ring.reset();
    EXPECT_EQ(ring.totalWritten(), 0u);
    EXPECT_FALSE(ring.takeNewest(out.data()));
}

// A producer thread writes a numbered stream as fast as it can, lapping the ring many times
// while the main thread copies: every snapshot must still be one unbroken run of the stream.
// It runs until 200 snapshots were checked or 5 s passed; a loaded machine checks fewer.
TEST(SampleRing, ConcurrentProducerNeverTearsASnapshot) {
    SampleRing ring;
    std::atomic<bool> stop{false};
    std::thread producer([&] {
        for (std::uint64_t n = 0; !stop.load(); n += 97) {
            writeNumbered(ring, n, 97);
        }
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    Snapshot out{};
    int taken = 0;
    int torn = 0;
    while (taken < 200 && std::chrono::steady_clock::now() < deadline) {
        if (ring.takeNewest(out.data())) {
            ++taken;
            torn += isNumberedFrom(out, out[0]) ? 0 : 1;
        }
    }
    stop.store(true);
    producer.join();
    EXPECT_EQ(torn, 0);
    EXPECT_GE(taken, 10);
}

}  // namespace
}  // namespace kalindor
