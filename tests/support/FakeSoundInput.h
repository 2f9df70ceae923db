#pragma once

#include <algorithm>
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
    enum class Call { kOpen, kClose, kTake };

    Expected<void> open() override {
        record(Call::kOpen);
        if (openFailure) {
            return unexpected(*openFailure);
        }
        open_ = true;
        return {};
    }
    void close() override {
        record(Call::kClose);
        open_ = false;
    }
    bool isOpen() const override { return open_; }
    // Each successful take also counts kBufferSamples more samples captured.
    bool takeBuffer(std::uint8_t* out) override {
        record(Call::kTake);
        if (!open_ || pending.empty()) {
            return false;
        }
        std::copy(pending.front().begin(), pending.front().end(), out);
        pending.pop_front();
        captured += kBufferSamples;
        return true;
    }
    int msUntilBufferReady() const override { return readyInMs; }
    std::int64_t msSinceLastData() const override { return silentForMs; }
    bool ended() const override { return hasEnded; }
    std::string failureDetail() const override { return failure; }
    std::uint64_t samplesCaptured() const override { return captured; }

    void deliver(const Buffer& buffer) { pending.push_back(buffer); }
    void deliverFilled(std::uint8_t value) { pending.emplace_back().fill(value); }

    // Answers the test sets.
    std::optional<std::string> openFailure;  // open() fails with this text when set
    int readyInMs = 8;
    std::int64_t silentForMs = 0;
    bool hasEnded = false;
    std::string failure;
    std::uint64_t captured = 0;
    std::deque<Buffer> pending;

    // What the fake was asked; onCall also hears every call as it happens, to interleave it
    // with other recordings.
    std::vector<Call> calls;
    std::function<void(Call)> onCall;

  private:
    void record(Call call) {
        calls.push_back(call);
        if (onCall) {
            onCall(call);
        }
    }
    bool open_ = false;
};

}  // namespace kalindor::test
