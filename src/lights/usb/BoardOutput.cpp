// SPDX-License-Identifier: GPL-3.0-or-later
#include "lights/usb/BoardOutput.h"

#include <utility>

namespace kalindor {

void BoardOutput::show(const LightFrame& frame) {
    switch (frame.kind) {
        case FrameKind::kBuffer:
            if (frame.pattern != std::exchange(lastBufferPattern_, frame.pattern)) {
                writePattern(device_, frame.pattern);
                answer_ = probeDevice(device_);
            }
            break;
        case FrameKind::kStep:
            answer_ = writePattern(device_, frame.pattern) != kNotConnected;
            break;
        case FrameKind::kPrepare:
            answer_ = probeDevice(device_);
            if (*answer_) {
                device_.DoSetDataPortDirections(255, 255, 0, 3);
                writePattern(device_, 0);
            }
            break;
    }
    if (answer_) {
        connected_ = *answer_;
    }
}

std::optional<bool> BoardOutput::takeAnswer() {
    return std::exchange(answer_, std::nullopt);
}

}  // namespace kalindor
