// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "core/LightOutput.h"
#include "core/TimerPort.h"

namespace kalindor {

// Hands every frame and every start/stop to `target` `delayMs` later, in order, none lost or
// merged, so the lights line up with speakers that lag. They wait in a fixed-size queue (no
// allocation per call) and are handed over by one timer of `timers` when due on its clock. A
// queue that still fills up hands over its oldest at once to make room.
//
// A delayed frame cannot wait for the board's answer: show() answers the last answer the target
// gave so far (std::nullopt before the first). Entries still waiting when this object is
// destroyed are handed over at once, in order. With a delay of 0 and nothing waiting, every call
// goes straight through (and show() answers as the target does). Main thread only.
class DelayedLights final : public LightSink {
  public:
    // Room for a second of the longest delay: one frame per 8 ms buffer, ten automaton steps,
    // and the entries of a Start or Stop.
    static constexpr std::size_t kCapacity = 512;

    // `target` and `timers` must outlive this object; delayMs is 0..kMaxLightDelayMs.
    DelayedLights(LightSink& target, TimerPort& timers, int delayMs);
    ~DelayedLights() override;
    DelayedLights(const DelayedLights&) = delete;
    DelayedLights& operator=(const DelayedLights&) = delete;

    std::optional<bool> show(const LightFrame& frame) override;
    void setRunning(bool running) override;
    // The delay of the calls from now on (0..kMaxLightDelayMs). The entries waiting keep their
    // time; a later one is never handed over before them, so nothing is lost or reordered.
    void setDelay(int delayMs);

  private:
    struct Entry {
        std::optional<LightFrame> frame;  // empty: a start/stop
        bool running = false;             // start/stop only
        std::int64_t dueMs = 0;
    };

    void push(const Entry& entry);
    void popFront();
    void handDue();

    LightSink& target_;
    TimerPort& timers_;
    int delayMs_;
    std::unique_ptr<Timer> timer_;
    std::array<Entry, kCapacity> queue_{};
    std::size_t head_ = 0;
    std::size_t count_ = 0;
    std::optional<bool> lastAnswer_;
};

}  // namespace kalindor
