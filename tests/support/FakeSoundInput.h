#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/SoundInput.h"

namespace kalindor::test {

// A sound input that records what it was asked to do and hands out the buffers a test gives
// it, one per successful takeBuffer, in order.
class FakeSoundInput final : public SoundInput {
  public:
    using Buffer = std::array<std::uint8_t, kBufferSamples>;

    Expected<void> open() override;
    void close() override;
    bool isOpen() const override { return open_; }
    bool takeBuffer(std::uint8_t* out) override;
    int msUntilBufferReady() const override { return readyInMs; }
    std::int64_t msSinceLastData() const override { return silentForMs; }
    bool ended() const override { return hasEnded; }
    std::string failureDetail() const override { return failure; }
    std::uint64_t samplesCaptured() const override { return captured; }

    // Queues a buffer; each take also counts kBufferSamples more samples captured.
    void deliver(const Buffer& buffer) { pending.push_back(buffer); }
    // Queues a buffer of one value.
    void deliverFilled(std::uint8_t value);

    // Answers the test sets.
    std::optional<std::string> openFailure;  // open() fails with this text when set
    int readyInMs = 8;
    std::int64_t silentForMs = 0;
    bool hasEnded = false;
    std::string failure;
    std::uint64_t captured = 0;
    std::deque<Buffer> pending;

    // What the fake was asked.
    enum class Call { kOpen, kClose, kTake };
    std::vector<Call> calls;
    // Also told of every call as it happens, to interleave it with other recordings.
    std::function<void(Call)> onCall;
    int takesSucceeded = 0;

  private:
    void record(Call call);
    bool open_ = false;
};

}  // namespace kalindor::test
