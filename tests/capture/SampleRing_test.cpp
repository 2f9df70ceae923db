#include "capture/SampleRing.h"

#include <gtest/gtest.h>

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

void writeNumbered(SampleRing& ring, std::uint64_t from, std::size_t count) {
    std::vector<std::uint8_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] = numbered(from + i);
    }
    ring.write(samples.data(), count);
}

void expectNumberedFrom(const Snapshot& snapshot, std::uint64_t first) {
    for (std::size_t i = 0; i < snapshot.size(); ++i) {
        ASSERT_EQ(snapshot[i], numbered(first + i)) << "sample " << i;
    }
}

TEST(SampleRingTest, TakesOnlyOnceAFullSnapshotOfFreshSamplesHasArrived) {
    SampleRing ring;
    Snapshot out{};
    writeNumbered(ring, 0, 255);
    EXPECT_FALSE(ring.takeNewest(out.data()));
    EXPECT_EQ(ring.msUntilSnapshotReady(), 1);  // one sample missing rounds up to 1 ms

    writeNumbered(ring, 255, 1);
    EXPECT_EQ(ring.msUntilSnapshotReady(), 0);
    ASSERT_TRUE(ring.takeNewest(out.data()));
    expectNumberedFrom(out, 0);

    // Samples taken once never count again: the next snapshot needs 256 new ones.
    writeNumbered(ring, 256, 200);
    EXPECT_EQ(ring.freshSamples(), 200u);
    EXPECT_FALSE(ring.takeNewest(out.data()));
    EXPECT_EQ(ring.msUntilSnapshotReady(), 2);  // 56 samples = 1.75 ms
    writeNumbered(ring, 456, 56);
    ASSERT_TRUE(ring.takeNewest(out.data()));
    expectNumberedFrom(out, 256);
}

TEST(SampleRingTest, TakesTheNewestSamplesAndSkipsOlderOnesAcrossTheWrap) {
    SampleRing ring;
    Snapshot out{};
    // Far more than the capacity, in odd-sized pieces, so the end lands mid-ring.
    const std::uint64_t total = 3 * SampleRing::kCapacity + 777;
    std::uint64_t written = 0;
    while (written < total) {
        const std::size_t piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(300, total - written));
        writeNumbered(ring, written, piece);
        written += piece;
    }
    ASSERT_TRUE(ring.takeNewest(out.data()));
    expectNumberedFrom(out, total - SampleRing::kSnapshot);
    EXPECT_EQ(ring.totalWritten(), total);
    EXPECT_EQ(ring.freshSamples(), 0u);
}

TEST(SampleRingTest, HolesAreSilenceAndResetForgetsEverything) {
    SampleRing ring;
    Snapshot out{};
    writeNumbered(ring, 0, 100);
    ring.write(nullptr, 256);
    ASSERT_TRUE(ring.takeNewest(out.data()));
    for (std::uint8_t sample : out) {
        ASSERT_EQ(sample, 128);
    }

    writeNumbered(ring, 0, 300);
    ring.reset();
    EXPECT_EQ(ring.totalWritten(), 0u);
    EXPECT_FALSE(ring.takeNewest(out.data()));
    EXPECT_EQ(ring.msUntilSnapshotReady(), 8);
    EXPECT_LT(ring.msSinceLastWrite(), 1000);
}

// A producer thread writes a numbered stream as fast as it can, lapping the ring many times
// while the main thread copies: every snapshot must still be one unbroken run of the stream.
// The producer runs until enough snapshots were checked (or 5 s passed), so a slow or loaded
// machine checks as many as a fast one.
TEST(SampleRingTest, ConcurrentProducerNeverTearsOrRepeatsASnapshot) {
    constexpr int kSnapshotsToCheck = 200;
    SampleRing ring;
    std::atomic<bool> stop{false};
    std::thread producer([&] {
        std::array<std::uint8_t, 97> chunk{};
        std::uint64_t n = 0;
        while (!stop.load()) {
            for (auto& sample : chunk) {
                sample = numbered(n++);
            }
            ring.write(chunk.data(), chunk.size());
        }
    });

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    Snapshot out{};
    int taken = 0;
    int torn = 0;
    while (taken < kSnapshotsToCheck && std::chrono::steady_clock::now() < deadline) {
        if (!ring.takeNewest(out.data())) {
            continue;
        }
        ++taken;
        for (std::size_t i = 1; i < out.size(); ++i) {
            if (out[i] != numbered(out[i - 1] + 1u)) {
                ++torn;
                break;
            }
        }
    }
    stop.store(true);
    producer.join();
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(taken, kSnapshotsToCheck);
}

}  // namespace
}  // namespace kalindor
