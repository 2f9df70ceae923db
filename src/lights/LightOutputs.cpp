// SPDX-License-Identifier: GPL-3.0-or-later
#include "lights/LightOutputs.h"

#include <utility>

namespace kalindor {

LightOutputs::LightOutputs(LightDevice& board, bool boardListed,
                           std::vector<std::unique_ptr<LightOutput>> outputs)
    : board_(board), boardListed_(boardListed), outputs_(std::move(outputs)) {
    if (boardListed_) {
        watched_.push_back(&board_);
    }
    for (const auto& output : outputs_) {
        watched_.push_back(output.get());
    }
}

std::optional<bool> LightOutputs::show(const LightFrame& frame) {
    board_.show(frame);
    if (frame.kind == FrameKind::kBuffer) {
        if (frame.pattern != std::exchange(lastBufferPattern_, frame.pattern)) {
            stepHolds_ = false;
        }
        if (stepHolds_) {
            return board_.takeAnswer();
        }
    } else {
        stepHolds_ = frame.kind == FrameKind::kStep;
    }
    for (const auto& output : outputs_) {
        output->show(frame);
    }
    return board_.takeAnswer();
}

void LightOutputs::setRunning(bool running) {
    board_.setRunning(running);
    for (const auto& output : outputs_) {
        output->setRunning(running);
    }
}

}  // namespace kalindor
