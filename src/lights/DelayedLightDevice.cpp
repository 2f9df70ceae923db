// SPDX-License-Identifier: GPL-3.0-or-later
#include "lights/DelayedLightDevice.h"

#include <algorithm>

namespace kalindor {

DelayedLightDevice::DelayedLightDevice(LightDevice& target, TimerPort& timers, int delayMs)
    : target_(target),
      timers_(timers),
      delayMs_(delayMs),
      timer_(timers.createTimer([this] { performDue(); })) {
    std::int32_t code = 0;
    std::int32_t count = 0;
    lastAnswer_ = target_.DoGetInfraCode(code, 0, count);
}

DelayedLightDevice::~DelayedLightDevice() {
    while (count_ > 0) {
        popFront();
    }
}

std::int32_t DelayedLightDevice::DoGetInfraCode(std::int32_t&, std::int32_t, std::int32_t&) {
    return push(Call::Kind::kProbe);
}

std::int32_t DelayedLightDevice::DoSetDataPortDirections(std::uint8_t first, std::uint8_t second,
                                                         std::uint8_t third,
                                                         std::uint8_t usedPorts) {
    return push(Call::Kind::kDirections, {first, second, third, usedPorts});
}

std::int32_t DelayedLightDevice::DoSetOutDataPorts(std::uint8_t first, std::uint8_t second,
                                                   std::uint8_t third, std::uint8_t usedPorts) {
    return push(Call::Kind::kPorts, {first, second, third, usedPorts});
}

std::int32_t DelayedLightDevice::writeStepPattern(std::uint8_t pattern) {
    return push(Call::Kind::kStep, {.first = pattern});
}

void DelayedLightDevice::showFrame(const LightFrame& frame) {
    push(Call::Kind::kFrame, {}, frame);
}

void DelayedLightDevice::setRunning(bool running) {
    push(Call::Kind::kRunning, {.first = static_cast<std::uint8_t>(running ? 1 : 0)});
}

std::int32_t DelayedLightDevice::push(Call::Kind kind, const PortBytes& ports,
                                      const LightFrame& frame) {
    if (count_ == kCapacity) {
        popFront();
    }
    Call& slot = queue_[(head_ + count_) % kCapacity];
    slot.kind = kind;
    slot.ports = ports;
    slot.frame = frame;
    slot.dueMs = timers_.nowMs() + delayMs_;
    if (count_++ == 0) {
        timer_->setInterval(delayMs_);
        timer_->setEnabled(true);
    }
    return lastAnswer_;
}

void DelayedLightDevice::popFront() {
    const Call call = queue_[head_];
    head_ = (head_ + 1) % kCapacity;
    --count_;
    perform(call);
}

void DelayedLightDevice::perform(const Call& call) {
    const PortBytes& p = call.ports;
    switch (call.kind) {
        case Call::Kind::kProbe: {
            std::int32_t code = 0;
            std::int32_t count = 0;
            lastAnswer_ = target_.DoGetInfraCode(code, 0, count);
            break;
        }
        case Call::Kind::kDirections:
            lastAnswer_ = target_.DoSetDataPortDirections(p.first, p.second, p.third, p.usedPorts);
            break;
        case Call::Kind::kPorts:
            lastAnswer_ = target_.DoSetOutDataPorts(p.first, p.second, p.third, p.usedPorts);
            break;
        case Call::Kind::kStep:
            lastAnswer_ = target_.writeStepPattern(p.first);
            break;
        case Call::Kind::kFrame:
            target_.showFrame(call.frame);
            break;
        case Call::Kind::kRunning:
            target_.setRunning(p.first != 0);
            break;
    }
}

void DelayedLightDevice::performDue() {
    const std::int64_t now = timers_.nowMs();
    while (count_ > 0 && queue_[head_].dueMs <= now) {
        popFront();
    }
    if (count_ == 0) {
        timer_->setEnabled(false);
    } else {
        timer_->setInterval(static_cast<int>(std::max<std::int64_t>(queue_[head_].dueMs - now, 1)));
    }
}

}  // namespace kalindor
