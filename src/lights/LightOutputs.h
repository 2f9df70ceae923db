// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
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

    // One output of the next list: an output of others() kept as it runs, or a new one.
    struct Next {
        const LightOutput* kept = nullptr;
        std::unique_ptr<LightOutput> fresh;
    };
    // Changes the outputs between two frames, while capture runs or not. `board` becomes the
    // board unless it is the device in use, which then sees no call at all; the board it
    // replaces is shown the dark pattern first, the new one is prepared and shown the current
    // pattern. Outputs of others() missing from `next` are shown the dark frame, told they
    // stopped (when running) and destroyed; new ones are told that capture runs (when it does)
    // and shown the current frame at once. Kept outputs see no call.
    void replace(LightDevice& board, bool boardListed, std::vector<Next> next);
    // The outputs besides the board, in their order.
    std::span<const std::unique_ptr<LightOutput>> others() const { return outputs_; }

    // True when the board is the only output (the status line keeps the board's own texts).
    bool boardOnly() const { return outputs_.empty(); }
    bool boardListed() const { return boardListed_; }
    // The outputs whose connection is watched and named: the board when listed, then the others.
    std::span<LightOutput* const> watched() const { return watched_; }
    const BoardOutput& board() const { return *board_; }
    LightDevice& boardDevice() const { return *boardDevice_; }

  private:
    void watchAll();

    std::unique_ptr<BoardOutput> board_;
    LightDevice* boardDevice_;
    bool boardListed_;
    std::vector<std::unique_ptr<LightOutput>> outputs_;
    std::vector<LightOutput*> watched_;
    std::uint8_t lastBufferPattern_ = 0;
    bool stepHolds_ = false;
    LightFrame current_{};  // the last frame the outputs besides the board were shown
    bool running_ = false;
};

// An output that could not be opened: it stays in the list so the status line names it, never
// connected, showing nothing.
class FailedOutput final : public LightOutput {
  public:
    explicit FailedOutput(std::string name) : name_(std::move(name)) {}
    std::string name() const override { return name_; }
    void show(const LightFrame&) override {}
    void setRunning(bool) override {}
    bool connected() const override { return false; }

  private:
    std::string name_;
};

}  // namespace kalindor
