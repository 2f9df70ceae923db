#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/TimerPort.h"

namespace kalindor::test {

// Timers on a virtual clock: advance(ms) moves time forward and fires every due tick in time
// order (ties in creation order), as an event loop would.
class VirtualTimerPort final : public TimerPort {
  public:
    std::unique_ptr<Timer> createTimer(std::function<void()> onTick) override;
    std::int64_t nowMs() const override { return now_; }

    // Moves the clock forward by ms, firing due ticks one at a time.
    void advance(std::int64_t ms);
    // Moves the clock forward by ms without firing anything, as a blocked loop or a clock jump
    // would; the next advance() fires each overdue timer once.
    void jump(std::int64_t ms) { now_ += ms; }

    // Told of every setEnabled call, with the timer's creation number (0 = first created).
    std::function<void(int creation, bool enabled)> onSetEnabled;

  private:
    class VirtualTimer;
    friend class VirtualTimer;
    std::vector<VirtualTimer*> timers_;
    std::int64_t now_ = 0;
    int created_ = 0;
};

}  // namespace kalindor::test
