// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "core/CaptureFormat.h"

namespace kalindor {

// A lock-free ring of unsigned 8-bit samples with one producer (a backend's capture thread)
// and one consumer (the main thread). The producer never waits, locks or allocates: when the
// consumer falls behind, the oldest samples are overwritten. The consumer takes the newest
// 256 samples once 256 have arrived since its previous take.
class SampleRing {
  public:
    static constexpr std::size_t kCapacity = 8192;            // samples (256 ms at 32000 Hz)
    static constexpr std::size_t kSnapshot = kBufferSamples;  // samples per take

    SampleRing() noexcept;

    // Consumer side, only while no producer runs (before a capture starts): forgets all
    // samples and counts the time since the last data from now.
    void reset() noexcept;

    // Producer side. Appends count samples; samples == nullptr appends silence (128), for the
    // holes a sound server reports.
    void write(const std::uint8_t* samples, std::size_t count) noexcept;

    // Consumer side. When at least kSnapshot samples have been written since the previous
    // successful take (or reset), copies the newest kSnapshot into out[0..255] and returns
    // true; otherwise leaves out untouched and returns false.
    bool takeNewest(std::uint8_t* out) noexcept;
    // Samples written since the previous successful take (or reset).
    std::uint64_t freshSamples() const noexcept;
    // Milliseconds at 32000 Hz until kSnapshot fresh samples can have arrived (0 = ready).
    int msUntilSnapshotReady() const noexcept;
    // Samples written since reset.
    std::uint64_t totalWritten() const noexcept;
    // Milliseconds on the monotonic clock since the last write (since reset if none).
    std::int64_t msSinceLastWrite() const noexcept;

  private:
    // Byte-wide atomics so that a take racing a wrap-around is a detected retry, not a data
    // race; relaxed accesses cost nothing more than plain ones on common hardware.
    std::array<std::atomic<std::uint8_t>, kCapacity> samples_;
    std::atomic<std::uint64_t> written_{0};
    std::atomic<std::int64_t> lastWriteMs_{0};
    std::uint64_t takenUpTo_ = 0;  // consumer only
};

}  // namespace kalindor
