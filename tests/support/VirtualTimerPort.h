// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
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
    std::unique_ptr<Timer> createTimer(std::function<void()> onTick) override {
        return std::make_unique<VirtualTimer>(*this, std::move(onTick));
    }
    std::int64_t nowMs() const override { return now_; }

    // Moves the clock forward by ms, firing due ticks one at a time.
    void advance(std::int64_t ms) {
        const std::int64_t end = now_ + ms;
        for (;;) {
            VirtualTimer* next = nullptr;
            for (VirtualTimer* timer : timers_) {
                if (timer->enabled() && (next == nullptr || timer->due_ < next->due_)) {
                    next = timer;
                }
            }
            if (next == nullptr || next->due_ > end) {
                break;
            }
            now_ = std::max(now_, next->due_);
            // No catch-up: the next tick is one interval after this one fires.
            next->due_ = now_ + std::max(next->interval_, 1);
            next->onTick_();
        }
        now_ = end;
    }
    // Moves the clock forward by ms without firing anything, as a blocked loop or a clock jump
    // would; the next advance() fires each overdue timer once.
    void jump(std::int64_t ms) { now_ += ms; }

    // The live timer created `creation`-th (0 = first).
    Timer& timer(int creation) const {
        return **std::find_if(timers_.begin(), timers_.end(),
                              [&](const VirtualTimer* t) { return t->creation_ == creation; });
    }

    // Told of every setEnabled call, with the timer's creation number (0 = first created).
    std::function<void(int creation, bool enabled)> onSetEnabled;

  private:
    class VirtualTimer final : public Timer {
      public:
        VirtualTimer(VirtualTimerPort& port, std::function<void()> onTick)
            : port_(port), onTick_(std::move(onTick)), creation_(port.created_++) {
            port_.timers_.push_back(this);
        }
        ~VirtualTimer() override { std::erase(port_.timers_, this); }

        void setInterval(int ms) override {
            interval_ = ms;
            due_ = port_.now_ + interval_;
        }
        int interval() const override { return interval_; }
        void setEnabled(bool enabled) override {
            if (port_.onSetEnabled) {
                port_.onSetEnabled(creation_, enabled);
            }
            if (enabled && !enabled_) {
                due_ = port_.now_ + interval_;
            }
            enabled_ = enabled;
        }
        bool enabled() const override { return enabled_; }

        VirtualTimerPort& port_;
        std::function<void()> onTick_;
        int creation_;
        int interval_ = 0;
        bool enabled_ = false;
        std::int64_t due_ = 0;
    };

    std::vector<VirtualTimer*> timers_;
    std::int64_t now_ = 0;
    int created_ = 0;
};

}  // namespace kalindor::test
