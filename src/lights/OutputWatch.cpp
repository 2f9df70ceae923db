// SPDX-License-Identifier: GPL-3.0-or-later
#include "lights/OutputWatch.h"

#include <utility>

namespace kalindor {

OutputWatch::OutputWatch(const LightOutputs& outputs, TimerPort& timers, Handler onChange)
    : outputs_(outputs),
      onChange_(std::move(onChange)),
      connected_(outputs.watched().size(), true) {
    if (!connected_.empty()) {
        timer_ = timers.createTimer([this] { poll(); });
        timer_->setInterval(kPollMs);
        timer_->setEnabled(true);
    }
}

void OutputWatch::poll() {
    const auto outputs = outputs_.watched();
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const bool connected = outputs[i]->connected();
        if (connected != connected_[i]) {
            connected_[i] = connected;
            if (onChange_) {
                onChange_(*outputs[i], connected);
            }
        }
    }
}

}  // namespace kalindor
