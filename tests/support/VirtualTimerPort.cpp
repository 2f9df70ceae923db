#include "support/VirtualTimerPort.h"

#include <algorithm>
#include <limits>

namespace kalindor::test {

class VirtualTimerPort::VirtualTimer final : public Timer {
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

    std::int64_t due() const { return due_; }
    void fire() {
        // No catch-up: the next tick is one interval after this one fires.
        due_ = port_.now_ + std::max(interval_, 1);
        onTick_();
    }

  private:
    VirtualTimerPort& port_;
    std::function<void()> onTick_;
    int creation_;
    int interval_ = 0;
    bool enabled_ = false;
    std::int64_t due_ = 0;
};

std::unique_ptr<Timer> VirtualTimerPort::createTimer(std::function<void()> onTick) {
    return std::make_unique<VirtualTimer>(*this, std::move(onTick));
}

void VirtualTimerPort::advance(std::int64_t ms) {
    const std::int64_t end = now_ + ms;
    for (;;) {
        VirtualTimer* next = nullptr;
        std::int64_t nextDue = std::numeric_limits<std::int64_t>::max();
        for (VirtualTimer* timer : timers_) {
            if (timer->enabled() && timer->due() < nextDue) {
                next = timer;
                nextDue = timer->due();
            }
        }
        if (next == nullptr || nextDue > end) {
            break;
        }
        now_ = std::max(now_, nextDue);
        next->fire();
    }
    now_ = end;
}

}  // namespace kalindor::test
