// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "core/SoundInput.h"

namespace kalindor {

// Plays a sound file in real time as if it came from a microphone. The sound needs no thread
// to feed it: the samples "captured" by now are exactly those that have played since open() on
// the monotonic clock (32 per millisecond), so a take computes them from the clock and copies
// the newest 256 straight from the file's samples. The caller sees what an ideal live source
// would deliver, at no cost between takes and with no staleness from chunking. Optionally
// loops; otherwise the input ends after the last sample (ended() turns true). Main thread only,
// like every SoundInput method.
class FileSoundInput final : public SoundInput {
  public:
    // The file is read at open(): any libsndfile format converted to the capture format, or a
    // headerless .u8/.raw file as it is.
    FileSoundInput(std::string path, bool loop);
    // Samples already in the capture format (tests, generated sound).
    FileSoundInput(std::vector<std::uint8_t> samples, bool loop);

    Expected<void> open() override;
    void close() override;
    bool isOpen() const override { return open_; }
    bool takeBuffer(std::uint8_t* out) override;
    int msUntilBufferReady() const override;
    std::int64_t msSinceLastData() const override;
    bool ended() const override;
    std::uint64_t samplesCaptured() const override;

  private:
    using Clock = std::chrono::steady_clock;

    // Samples played since open(), not counting past the end of a file that does not loop;
    // frozen at close().
    std::uint64_t playedSamples() const;
    // The sample at a position of the played stream; positions before 0 are silence.
    std::uint8_t sampleAt(std::int64_t position) const;

    std::string path_;  // empty when constructed from samples
    bool loop_;
    std::vector<std::uint8_t> samples_;
    bool open_ = false;
    Clock::time_point start_;
    std::uint64_t takenUpTo_ = 0;      // playedSamples() at the previous successful take
    std::uint64_t playedAtClose_ = 0;  // what had played when the input was closed
};

}  // namespace kalindor
