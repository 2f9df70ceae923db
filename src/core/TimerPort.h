// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace kalindor {

// A periodic timer of the main event loop, like a window's timer control: created disabled;
// while enabled its callback runs every interval on the main thread. Changing the interval of
// an enabled timer restarts its period. A timer that falls behind (the loop was blocked, the
// clock jumped) fires once when it can, never a burst of catch-up ticks.
class Timer {
  public:
    virtual ~Timer() = default;
    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool enabled() const = 0;
};

// The event loop seen from the engine: makes timers and tells the time. Implemented over
// QTimer in the window, over poll() in the CLI, and by a virtual clock in the tests.
class TimerPort {
  public:
    virtual ~TimerPort() = default;
    // The callback is owned by the timer and runs on the main thread.
    virtual std::unique_ptr<Timer> createTimer(std::function<void()> onTick) = 0;
    // Milliseconds on a monotonic clock (virtual time in tests).
    virtual std::int64_t nowMs() const = 0;
};

}  // namespace kalindor
