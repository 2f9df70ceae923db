// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "core/LightOutput.h"
#include "lights/usb/BoardOutput.h"
#include "lights/usb/LightDevice.h"

namespace kalindor {

// The outputs of a run: the board first, then the others in the order chosen. Each frame and
// each start/stop goes to every one of them once, in that order, but for one rule: an automaton
// step holds the lights until a buffer's pattern differs from the buffer before it (as on the
// board, which writes only then), so the others skip the buffer frames in between. Main thread
// only; no call allocates.
class LightOutputs final : public LightSink {
  public:
    // `board` is the USB board, the simulated one or the absent one; not owned, it must outlive
    // this object. `boardListed` is false when the board is only the absent stand-in (none, or no
    // board chosen): it still answers (never connected) but is not watched or named.
    LightOutputs(LightDevice& board, bool boardListed,
                 std::vector<std::unique_ptr<LightOutput>> outputs);

    std::optional<bool> show(const LightFrame& frame) override;
    void setRunning(bool running) override;

    // True when the board is the only output (the status line keeps the board's own texts).
    bool boardOnly() const { return outputs_.empty(); }
    bool boardListed() const { return boardListed_; }
    // The outputs whose connection is watched and named: the board when listed, then the others.
    std::span<LightOutput* const> watched() const { return watched_; }
    const BoardOutput& board() const { return board_; }

  private:
    BoardOutput board_;
    bool boardListed_;
    std::vector<std::unique_ptr<LightOutput>> outputs_;
    std::vector<LightOutput*> watched_;
    std::uint8_t lastBufferPattern_ = 0;
    bool stepHolds_ = false;
};

}  // namespace kalindor
