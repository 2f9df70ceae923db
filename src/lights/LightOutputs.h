// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "core/LightDevice.h"
#include "core/LightOutput.h"

namespace kalindor {

// The output layer: the light device the level chain, the automaton and the engine write. It
// passes every board call to the board unchanged (same values, same moment, the board's own
// answer) and hands the light state to the other outputs as frames: each buffer's frame once
// (the pattern write the level chain makes after it adds none), and while an automaton step
// holds the lights only the buffers whose pattern changes; each step (255 for every channel)
// and each other pattern write (the engine's dark write, with the last buffer's levels).
// Main thread only; no call allocates.
class LightOutputs final : public LightDevice {
  public:
    // `board` is the USB board, the simulated one or the absent one (never null); `boardListed`
    // is false when the board is only the absent stand-in (none, or no board chosen). `outputs` are
    // the other outputs in the order chosen.
    LightOutputs(std::unique_ptr<LightDevice> board, bool boardListed,
                 std::vector<std::unique_ptr<LightOutput>> outputs);

    std::int32_t DoGetInfraCode(std::int32_t& code, std::int32_t value,
                                std::int32_t& count) override;
    std::int32_t DoSetDataPortDirections(std::uint8_t first, std::uint8_t second,
                                         std::uint8_t third, std::uint8_t usedPorts) override;
    std::int32_t DoSetOutDataPorts(std::uint8_t first, std::uint8_t second, std::uint8_t third,
                                   std::uint8_t usedPorts) override;
    std::int32_t writeStepPattern(std::uint8_t pattern) override;
    void showFrame(const LightFrame& frame) override;
    void setRunning(bool running) override;

    // True when the board is the only output (the status line keeps the board's own texts).
    bool boardOnly() const { return outputs_.empty(); }
    bool boardListed() const { return boardListed_; }
    std::span<const std::unique_ptr<LightOutput>> outputs() const { return outputs_; }
    LightDevice& board() { return *board_; }

  private:
    void showAll();

    std::unique_ptr<LightDevice> board_;
    bool boardListed_;
    std::vector<std::unique_ptr<LightOutput>> outputs_;
    LightFrame frame_;
    ChannelLevels chainLevels_{};
    std::uint8_t chainPattern_ = 0;  // the last buffer's pattern, as the level chain keeps it
    bool writeShown_ = false;        // the level chain's next write was shown with its frame
    bool stepShown_ = false;         // the last pattern write was an automaton step
};

}  // namespace kalindor
