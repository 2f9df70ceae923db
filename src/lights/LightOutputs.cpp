// SPDX-License-Identifier: GPL-3.0-or-later
#include "lights/LightOutputs.h"

#include <utility>

namespace kalindor {

namespace {

constexpr std::uint8_t kFullLevel = 255;

}  // namespace

LightOutputs::LightOutputs(std::unique_ptr<LightDevice> board, bool boardListed,
                           std::vector<std::unique_ptr<LightOutput>> outputs)
    : board_(std::move(board)), boardListed_(boardListed), outputs_(std::move(outputs)) {}

std::int32_t LightOutputs::DoGetInfraCode(std::int32_t& code, std::int32_t value,
                                          std::int32_t& count) {
    return board_->DoGetInfraCode(code, value, count);
}

std::int32_t LightOutputs::DoSetDataPortDirections(std::uint8_t first, std::uint8_t second,
                                                   std::uint8_t third, std::uint8_t usedPorts) {
    return board_->DoSetDataPortDirections(first, second, third, usedPorts);
}

std::int32_t LightOutputs::DoSetOutDataPorts(std::uint8_t first, std::uint8_t second,
                                             std::uint8_t third, std::uint8_t usedPorts) {
    const std::int32_t answer = board_->DoSetOutDataPorts(first, second, third, usedPorts);
    const std::uint8_t pattern = patternForPortBytes({first, second, third, usedPorts});
    if (std::exchange(writeShown_, false) && pattern == frame_.pattern) {
        return answer;  // the buffer's frame went out with this pattern already
    }
    frame_.pattern = pattern;
    frame_.levels = chainLevels_;
    stepShown_ = false;
    showAll();
    return answer;
}

std::int32_t LightOutputs::writeStepPattern(std::uint8_t pattern) {
    const std::int32_t answer = board_->writeStepPattern(pattern);
    writeShown_ = false;
    frame_.pattern = pattern;
    frame_.levels.fill(kFullLevel);
    stepShown_ = true;
    showAll();
    return answer;
}

void LightOutputs::showFrame(const LightFrame& frame) {
    chainLevels_ = frame.levels;
    // The chain writes the pattern right after this call exactly when it changed.
    if (frame.pattern != std::exchange(chainPattern_, frame.pattern)) {
        stepShown_ = false;
        writeShown_ = true;
    }
    if (!stepShown_) {
        frame_ = frame;
        showAll();
    }
}

void LightOutputs::setRunning(bool running) {
    board_->setRunning(running);
    for (const auto& output : outputs_) {
        output->setRunning(running);
    }
}

void LightOutputs::showAll() {
    for (const auto& output : outputs_) {
        output->show(frame_);
    }
}

}  // namespace kalindor
