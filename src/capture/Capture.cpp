// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/Capture.h"

#include <algorithm>
#include <utility>

namespace kalindor {

Capture::Capture(SoundInput& input, TimerPort& timers,
                 std::function<void(const std::uint8_t*)> processBuffer)
    : input_(input),
      processBuffer_(std::move(processBuffer)),
      waitTimer_(timers.createTimer([this] { onWaitTimer(); })) {}

Capture::~Capture() = default;

Expected<void> Capture::open() {
    if (input_.isOpen()) {
        return {};
    }
    if (Expected<void> opened = input_.open(); !opened) {
        return opened;
    }
    requestOutstanding_ = false;
    lossReported_ = false;
    ticks_ = 0;
    buffersProcessed_ = 0;
    ticksSkipped_ = 0;
    buffersOverlapping_ = 0;
    previousBufferEnd_ = 0;
    return {};
}

void Capture::setSourceLostHandler(std::function<void(const std::string&)> handler) {
    onSourceLost_ = std::move(handler);
}

void Capture::CaptureTick() {
    ++ticks_;
    if (requestOutstanding_) {
        ++ticksSkipped_;
        return;
    }
    if (!input_.isOpen()) {
        return;
    }
    requestOutstanding_ = true;
    completeOrWait();
}

void Capture::onWaitTimer() {
    waitTimer_->setEnabled(false);
    if (requestOutstanding_) {
        completeOrWait();
    }
}

void Capture::completeOrWait() {
    if (input_.takeBuffer(CaptureBuffer_.data())) {
        const std::uint64_t end = input_.samplesCaptured();
        if (buffersProcessed_ > 0 && end - previousBufferEnd_ < kBufferSamples) {
            ++buffersOverlapping_;
        }
        previousBufferEnd_ = end;
        finishRequest();
        return;
    }
    if (checkSourceLost()) {
        return;
    }
    // Wake when the rest of the buffer should be there; at least 1 ms so a backend that
    // delivers in chunks cannot turn the wait into a spin.
    waitTimer_->setInterval(std::max(1, input_.msUntilBufferReady()));
    waitTimer_->setEnabled(true);
}

void Capture::finishRequest() {
    requestOutstanding_ = false;
    ++buffersProcessed_;
    processBuffer_(CaptureBuffer_.data());
}

bool Capture::checkSourceLost() {
    // A backend that knows its stream failed is lost at once; otherwise a second without
    // any sample tells.
    const bool ended = input_.ended();
    std::string detail = input_.failureDetail();
    if (!ended && detail.empty() && input_.msSinceLastData() < kSourceLostAfterMs) {
        return false;
    }
    // The request ends here; whoever handles the loss stops capture.
    requestOutstanding_ = false;
    waitTimer_->setEnabled(false);
    if (lossReported_) {
        return true;
    }
    lossReported_ = true;
    if (detail.empty()) {
        detail = ended ? "the end of the input was reached"
                       : "no sound data has arrived for more than a second";
    }
    if (onSourceLost_) {
        onSourceLost_(detail);
    }
    return true;
}

void Capture::stop() {
    waitTimer_->setEnabled(false);
    const bool wasOutstanding = requestOutstanding_;
    requestOutstanding_ = false;
    input_.close();
    if (wasOutstanding) {
        ++buffersProcessed_;
        processBuffer_(CaptureBuffer_.data());
    }
}

void Capture::close() {
    waitTimer_->setEnabled(false);
    requestOutstanding_ = false;
    input_.close();
}

}  // namespace kalindor
