// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>

#include "core/TimerPort.h"

namespace kalindor::ui {

// The engine's timers on the Qt event loop (QTimer, precise). Timers must be created, used and
// destroyed on the thread that runs the loop.
class QtTimerPort final : public TimerPort {
  public:
    QtTimerPort();
    std::unique_ptr<Timer> createTimer(std::function<void()> onTick) override;
    std::int64_t nowMs() const override;

  private:
    QElapsedTimer clock_;
};

}  // namespace kalindor::ui
