// SPDX-License-Identifier: GPL-3.0-or-later
#include "lights/LightOutputs.h"

#include <algorithm>
#include <utility>

namespace kalindor {

LightOutputs::LightOutputs(LightDevice& board, bool boardListed,
                           std::vector<std::unique_ptr<LightOutput>> outputs)
    : board_(std::make_unique<BoardOutput>(board)),
      boardDevice_(&board),
      boardListed_(boardListed),
      outputs_(std::move(outputs)) {
    watchAll();
}

void LightOutputs::watchAll() {
    watched_.clear();
    if (boardListed_) {
        watched_.push_back(board_.get());
    }
    for (const auto& output : outputs_) {
        watched_.push_back(output.get());
    }
}

void LightOutputs::replace(LightDevice& board, bool boardListed, std::vector<Next> next) {
    constexpr LightFrame kDark{.kind = FrameKind::kStep};
    if (&board != boardDevice_) {
        board_->show(kDark);
        board_ = std::make_unique<BoardOutput>(board);
        boardDevice_ = &board;
        board_->show({.kind = FrameKind::kPrepare});
        board_->show({.pattern = current_.pattern, .kind = FrameKind::kStep});
        board_->takeAnswer();
    }
    boardListed_ = boardListed;
    std::vector<std::unique_ptr<LightOutput>> outputs;
    for (Next& entry : next) {
        if (entry.fresh) {
            entry.fresh->setRunning(running_);
            entry.fresh->show(current_);
            outputs.push_back(std::move(entry.fresh));
            continue;
        }
        const auto kept = std::ranges::find_if(
            outputs_, [&](const auto& output) { return output.get() == entry.kept; });
        if (kept != outputs_.end()) {
            outputs.push_back(std::move(*kept));
        }
    }
    for (auto& removed : outputs_) {
        if (removed) {
            removed->show({});
            if (running_) {
                removed->setRunning(false);
            }
        }
    }
    outputs_ = std::move(outputs);  // the removed ones close here
    watchAll();
}

std::optional<bool> LightOutputs::show(const LightFrame& frame) {
    board_->show(frame);
    if (frame.kind == FrameKind::kBuffer) {
        if (frame.pattern != std::exchange(lastBufferPattern_, frame.pattern)) {
            stepHolds_ = false;
        }
        if (stepHolds_) {
            return board_->takeAnswer();
        }
    } else {
        stepHolds_ = frame.kind == FrameKind::kStep;
    }
    current_ = frame;
    for (const auto& output : outputs_) {
        output->show(frame);
    }
    return board_->takeAnswer();
}

void LightOutputs::setRunning(bool running) {
    running_ = running;
    board_->setRunning(running);
    for (const auto& output : outputs_) {
        output->setRunning(running);
    }
}

}  // namespace kalindor
