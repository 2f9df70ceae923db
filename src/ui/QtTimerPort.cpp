// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/QtTimerPort.h"

#include <QTimer>
#include <utility>

namespace kalindor::ui {

namespace {

// One QTimer. QTimer already restarts its period when the interval of a running timer changes
// and coalesces missed ticks into one, as the Timer contract asks.
class QtTimer final : public Timer {
  public:
    explicit QtTimer(std::function<void()> onTick) : onTick_(std::move(onTick)) {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { onTick_(); });
    }

    void setInterval(int ms) override { timer_.setInterval(ms); }
    int interval() const override { return timer_.interval(); }

    // Enabling an enabled timer keeps its running period, like a window timer control.
    void setEnabled(bool enabled) override {
        if (enabled && !timer_.isActive()) {
            timer_.start();
        } else if (!enabled) {
            timer_.stop();
        }
    }
    bool enabled() const override { return timer_.isActive(); }

  private:
    std::function<void()> onTick_;
    QTimer timer_;
};

}  // namespace

QtTimerPort::QtTimerPort() {
    clock_.start();
}

std::unique_ptr<Timer> QtTimerPort::createTimer(std::function<void()> onTick) {
    return std::make_unique<QtTimer>(std::move(onTick));
}

std::int64_t QtTimerPort::nowMs() const {
    return clock_.elapsed();
}

}  // namespace kalindor::ui
