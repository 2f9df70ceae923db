// SPDX-License-Identifier: GPL-3.0-or-later
#include "lights/DelayedLights.h"

#include <algorithm>

namespace kalindor {

DelayedLights::DelayedLights(LightSink& target, TimerPort& timers, int delayMs)
    : target_(target),
      timers_(timers),
      delayMs_(delayMs),
      timer_(timers.createTimer([this] { handDue(); })) {}

DelayedLights::~DelayedLights() {
    while (count_ > 0) {
        popFront();
    }
}

std::optional<bool> DelayedLights::show(const LightFrame& frame) {
    if (delayMs_ == 0 && count_ == 0) {
        const std::optional<bool> answer = target_.show(frame);
        if (answer) {
            lastAnswer_ = answer;
        }
        return answer;
    }
    push({frame, false, 0});
    return lastAnswer_;
}

void DelayedLights::setRunning(bool running) {
    if (delayMs_ == 0 && count_ == 0) {
        target_.setRunning(running);
        return;
    }
    push({std::nullopt, running, 0});
}

void DelayedLights::setDelay(int delayMs) {
    delayMs_ = delayMs;
}

void DelayedLights::push(const Entry& entry) {
    if (count_ == kCapacity) {
        popFront();
    }
    Entry& slot = queue_[(head_ + count_) % kCapacity];
    slot = entry;
    slot.dueMs = timers_.nowMs() + delayMs_;
    if (count_ > 0) {
        // After a shorter delay was set, an entry waits for the ones queued before it.
        slot.dueMs = std::max(slot.dueMs, queue_[(head_ + count_ - 1) % kCapacity].dueMs);
    }
    if (count_++ == 0) {
        timer_->setInterval(std::max(delayMs_, 1));
        timer_->setEnabled(true);
    }
}

void DelayedLights::popFront() {
    const Entry entry = queue_[head_];
    head_ = (head_ + 1) % kCapacity;
    --count_;
    if (!entry.frame) {
        target_.setRunning(entry.running);
    } else if (const std::optional<bool> answer = target_.show(*entry.frame)) {
        lastAnswer_ = answer;
    }
}

void DelayedLights::handDue() {
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
