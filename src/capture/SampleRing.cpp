// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/SampleRing.h"

#include "core/MonotonicClock.h"

namespace kalindor {

namespace {
constexpr std::size_t kMask = SampleRing::kCapacity - 1;
static_assert((SampleRing::kCapacity & kMask) == 0, "capacity must be a power of two");
constexpr std::uint8_t kSilence = 128;
}  // namespace

SampleRing::SampleRing() noexcept {
    for (auto& sample : samples_) {
        sample.store(kSilence, std::memory_order_relaxed);
    }
    reset();
}

void SampleRing::reset() noexcept {
    written_.store(0, std::memory_order_relaxed);
    takenUpTo_ = 0;
    lastWriteMs_.store(monotonicMs(), std::memory_order_release);
}

void SampleRing::write(const std::uint8_t* samples, std::size_t count) noexcept {
    std::uint64_t position = written_.load(std::memory_order_relaxed);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t value = samples != nullptr ? samples[i] : kSilence;
        samples_[(position + i) & kMask].store(value, std::memory_order_relaxed);
    }
    written_.store(position + count, std::memory_order_release);
    lastWriteMs_.store(monotonicMs(), std::memory_order_relaxed);
}

bool SampleRing::takeNewest(std::uint8_t* out) noexcept {
    for (;;) {
        const std::uint64_t end = written_.load(std::memory_order_acquire);
        if (end - takenUpTo_ < kSnapshot) {
            return false;
        }
        const std::uint64_t begin = end - kSnapshot;
        for (std::size_t i = 0; i < kSnapshot; ++i) {
            out[i] = samples_[(begin + i) & kMask].load(std::memory_order_relaxed);
        }
        // The producer may have lapped the copied range while we read it; then the copy mixes
        // old and new samples and is taken again from the newer end.
        std::atomic_thread_fence(std::memory_order_acquire);
        const std::uint64_t after = written_.load(std::memory_order_relaxed);
        if (after - begin <= kCapacity) {
            takenUpTo_ = end;
            return true;
        }
    }
}

std::uint64_t SampleRing::freshSamples() const noexcept {
    return written_.load(std::memory_order_acquire) - takenUpTo_;
}

int SampleRing::msUntilSnapshotReady() const noexcept {
    const std::uint64_t fresh = freshSamples();
    if (fresh >= kSnapshot) {
        return 0;
    }
    constexpr std::uint64_t kSamplesPerSecond = kSampleRate;
    const std::uint64_t missing = kSnapshot - fresh;
    return static_cast<int>((missing * 1000 + kSamplesPerSecond - 1) / kSamplesPerSecond);
}

std::uint64_t SampleRing::totalWritten() const noexcept {
    return written_.load(std::memory_order_acquire);
}

std::int64_t SampleRing::msSinceLastWrite() const noexcept {
    return monotonicMs() - lastWriteMs_.load(std::memory_order_relaxed);
}

}  // namespace kalindor
