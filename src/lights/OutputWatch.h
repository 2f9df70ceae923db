// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "core/LightOutput.h"
#include "core/TimerPort.h"
#include "lights/LightOutputs.h"

namespace kalindor {

// Watches whether the watched outputs (the board when listed, and the others) reach their
// lights: asks each once a second (on a timer, never per buffer) and reports every change. The
// first look, a second after construction, reports each output that is not connected; later
// looks report each output that dropped or came back. The list may change between looks
// (LightOutputs::replace): a new output is looked at as at the first look. Main thread only.
class OutputWatch {
  public:
    using Handler = std::function<void(const LightOutput& output, bool connected)>;
    static constexpr int kPollMs = 1000;

    // `outputs` and `timers` must outlive the watch.
    OutputWatch(const LightOutputs& outputs, TimerPort& timers, Handler onChange);

  private:
    void poll();

    const LightOutputs& outputs_;
    Handler onChange_;
    std::vector<const LightOutput*> seen_;  // the watched list at the last look
    std::vector<bool> connected_;
    std::unique_ptr<Timer> timer_;
};

}  // namespace kalindor
