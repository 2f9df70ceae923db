// SPDX-License-Identifier: GPL-3.0-or-later
#include "lights/OutputWatch.h"

#include <algorithm>
#include <utility>

namespace kalindor {

OutputWatch::OutputWatch(const LightOutputs& outputs, TimerPort& timers, Handler onChange)
    : outputs_(outputs),
      onChange_(std::move(onChange)),
      timer_(timers.createTimer([this] { poll(); })) {
    timer_->setInterval(kPollMs);
    timer_->setEnabled(true);
}

void OutputWatch::poll() {
    const auto outputs = outputs_.watched();
    if (!std::ranges::equal(outputs, seen_)) {
        // The list was changed: an output kept keeps its state, a new one counts as connected
        // so that its first look reports it when it is not.
        std::vector<bool> connected(outputs.size(), true);
        for (std::size_t i = 0; i < outputs.size(); ++i) {
            if (const auto old = std::ranges::find(seen_, outputs[i]); old != seen_.end()) {
                connected[i] = connected_[static_cast<std::size_t>(old - seen_.begin())];
            }
        }
        seen_.assign(outputs.begin(), outputs.end());
        connected_ = std::move(connected);
    }
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
