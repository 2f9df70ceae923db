// SPDX-License-Identifier: GPL-3.0-or-later
#include "lights/OutputWatch.h"

#include <utility>

#include "core/PipelineView.h"

namespace kalindor {

OutputWatch::OutputWatch(const LightOutputs& outputs, TimerPort& timers, Handler onChange)
    : outputs_(outputs),
      onChange_(std::move(onChange)),
      connected_(outputs.outputs().size(), true) {
    if (!outputs_.boardOnly()) {
        timer_ = timers.createTimer([this] { poll(); });
        timer_->setInterval(kPollMs);
        timer_->setEnabled(true);
    }
}

void OutputWatch::poll() {
    const auto outputs = outputs_.outputs();
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

std::string outputStatusLine(const LightOutputs& outputs, bool boardConnected) {
    if (outputs.boardOnly()) {
        return boardConnected ? kStatusConnected : kStatusNotConnected;
    }
    const auto part = [](const std::string& name, bool connected) {
        return name + (connected ? ": да" : ": нет");
    };
    std::string line = outputs.boardListed() ? part("USB", boardConnected) : std::string();
    for (const auto& output : outputs.outputs()) {
        line += (line.empty() ? "" : " · ") + part(output->name(), output->connected());
    }
    return line;
}

}  // namespace kalindor
