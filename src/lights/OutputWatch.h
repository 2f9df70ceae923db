// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/LightOutput.h"
#include "core/TimerPort.h"
#include "lights/LightOutputs.h"

namespace kalindor {

// Watches whether the outputs besides the board reach their lights: asks each once a second
// (on a timer, never per buffer) and reports every change. The first look, a second after
// construction, reports each output that is not connected; later looks report each output
// that dropped or came back. No timer runs when the board is the only output. Main thread only.
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
    std::vector<bool> connected_;
    std::unique_ptr<Timer> timer_;
};

// The status line while other outputs run besides or instead of the board: each output's name
// and whether it is connected, the board first unless it is only the absent stand-in, e.g.
// "USB: да · OLA 1: нет". While the board is the only output: its own kStatusConnected or
// kStatusNotConnected.
std::string outputStatusLine(const LightOutputs& outputs, bool boardConnected);

}  // namespace kalindor
