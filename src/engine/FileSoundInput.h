#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/SampleRing.h"
#include "engine/SoundInput.h"

namespace kalindor {

// Plays a sound file in real time as if it came from a microphone: a thread of its own feeds
// the ring 128 samples (4 ms) at a time, paced by the monotonic clock, so the main thread sees
// exactly what a live source would deliver. Optionally loops; otherwise the input ends after
// the last sample (ended() turns true).
class FileSoundInput final : public SoundInput {
  public:
    // The file is read at open(): any libsndfile format converted to the capture format, or a
    // headerless .u8/.raw file as it is.
    FileSoundInput(std::string path, bool loop);
    // Samples already in the capture format (tests, generated sound).
    FileSoundInput(std::vector<std::uint8_t> samples, bool loop);
    ~FileSoundInput() override;
    FileSoundInput(const FileSoundInput&) = delete;
    FileSoundInput& operator=(const FileSoundInput&) = delete;

    std::optional<std::string> open() override;
    void close() override;
    bool isOpen() const override { return player_.joinable(); }
    bool takeBuffer(std::uint8_t* out) override { return ring_.takeNewest(out); }
    int msUntilBufferReady() const override { return ring_.msUntilSnapshotReady(); }
    std::int64_t msSinceLastData() const override { return ring_.msSinceLastWrite(); }
    bool ended() const override { return ended_.load(std::memory_order_acquire); }
    std::uint64_t samplesCaptured() const override { return ring_.totalWritten(); }

  private:
    void play();

    std::string path_;  // empty when constructed from samples
    bool loop_;
    std::vector<std::uint8_t> samples_;
    SampleRing ring_;
    std::thread player_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> ended_{false};
};

}  // namespace kalindor
