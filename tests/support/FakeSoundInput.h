// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "core/SoundInput.h"

namespace kalindor::test {

// A sound input that hands out the buffers a test gives it, one per successful takeBuffer, in
// order, and answers as the test sets.
class FakeSoundInput final : public SoundInput {
  public:
    using Buffer = std::array<std::uint8_t, kBufferSamples>;

    Expected<void> open() override {
        if (openFailure) {
            return unexpected(*openFailure);
        }
        open_ = true;
        return {};
    }
    void close() override {
        open_ = false;
        if (onClose) {
            onClose();
        }
    }
    bool isOpen() const override { return open_; }
    // Each successful take also counts kBufferSamples more samples captured.
    bool takeBuffer(std::uint8_t* out) override {
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

    std::function<void()> onClose;  // told of each close as it happens

  private:
    bool open_ = false;
};

}  // namespace kalindor::test
