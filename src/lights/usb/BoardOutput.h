// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

#include "core/LightOutput.h"
#include "lights/usb/LightDevice.h"

namespace kalindor {

// The USB board (or its simulated or absent stand-in) as one light output: turns frames into
// the board's calls. A buffer frame writes its pattern when it differs from the last buffer's
// (0 before the first) and then probes; an automaton step always writes; a prepare frame probes
// and, when the board is there, sets the port directions (255, 255, 0, 3) and writes pattern 0.
// Start and stop touch nothing. connected() is the board's last answer (false before any).
// Main thread only; no allocation.
class BoardOutput final : public LightOutput {
  public:
    // `device` is not owned and must outlive this output.
    explicit BoardOutput(LightDevice& device) : device_(device) {}

    std::string name() const override { return "USB"; }
    void show(const LightFrame& frame) override;
    void setRunning(bool) override {}
    bool connected() const override { return connected_; }

    // The answer the board gave to the last frame, std::nullopt when that frame did not reach
    // it; cleared by reading.
    std::optional<bool> takeAnswer();

  private:
    LightDevice& device_;
    std::uint8_t lastBufferPattern_ = 0;
    bool connected_ = false;
    std::optional<bool> answer_;
};

}  // namespace kalindor
