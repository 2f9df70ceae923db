// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PollEventLoop.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <limits>
#include <string>
#include <system_error>

#include "core/MonotonicClock.h"

namespace kalindor {

namespace {

// The self-pipe that carries a signal from its handler into poll(). Process-wide because the
// handler can reach nothing else.
int gSignalPipe[2] = {-1, -1};

std::string systemFailure(const char* call) {
    return std::string(call) + ": " + std::generic_category().message(errno);
}

extern "C" void onWatchedSignal(int signal) {
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // A full pipe already holds a pending signal; losing this byte changes nothing.
    [[maybe_unused]] const ssize_t written = ::write(gSignalPipe[1], &number, 1);
    errno = savedErrno;
}

}  // namespace

class PollEventLoop::PollTimer final : public Timer {
  public:
    PollTimer(PollEventLoop& loop, std::function<void()> onTick)
        : loop_(loop), onTick_(std::move(onTick)) {
        loop_.timers_.push_back(this);
    }
    ~PollTimer() override { std::erase(loop_.timers_, this); }

    void setInterval(int ms) override {
        interval_ = std::max(ms, 0);
        due_ = monotonicMs() + interval_;
    }
    int interval() const override { return interval_; }
    void setEnabled(bool enabled) override {
        if (enabled && !enabled_) {
            due_ = monotonicMs() + interval_;
        }
        enabled_ = enabled;
    }
    bool enabled() const override { return enabled_; }

    std::int64_t due() const { return due_; }

    // Runs the callback; the timer may be destroyed by it, so nothing touches it afterwards.
    void fire(std::int64_t now) {
        // Keep the cadence of the period; after a stall, fire once and start afresh.
        due_ += std::max(interval_, 1);
        if (due_ <= now) {
            due_ = now + std::max(interval_, 1);
        }
        onTick_();
    }

  private:
    PollEventLoop& loop_;
    std::function<void()> onTick_;
    int interval_ = 0;
    bool enabled_ = false;
    std::int64_t due_ = 0;
};

PollEventLoop::~PollEventLoop() {
    for (const auto& [signal, handler] : previousHandlers_) {
        std::signal(signal, handler);
    }
}

std::unique_ptr<Timer> PollEventLoop::createTimer(std::function<void()> onTick) {
    return std::make_unique<PollTimer>(*this, std::move(onTick));
}

std::int64_t PollEventLoop::nowMs() const {
    return monotonicMs();
}

Expected<void> PollEventLoop::watchSignals(std::initializer_list<int> signals) {
    if (gSignalPipe[0] < 0 && ::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return unexpected(systemFailure("pipe2"));
    }
    for (const int signal : signals) {
        struct sigaction action = {};
        action.sa_handler = onWatchedSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        struct sigaction previous = {};
        ::sigaction(signal, &action, &previous);
        previousHandlers_.emplace_back(signal, previous.sa_handler);
    }
    return {};
}

void PollEventLoop::quit() {
    quitRequested_ = true;
}

PollEventLoop::PollTimer* PollEventLoop::nextDue() const {
    PollTimer* next = nullptr;
    for (PollTimer* timer : timers_) {
        if (timer->enabled() && (next == nullptr || timer->due() < next->due())) {
            next = timer;
        }
    }
    return next;
}

Expected<int> PollEventLoop::run() {
    quitRequested_ = false;
    while (!quitRequested_) {
        const std::int64_t now = monotonicMs();
        PollTimer* next = nextDue();
        if (next != nullptr && next->due() <= now) {
            next->fire(now);
            continue;
        }
        int timeoutMs = -1;
        if (next != nullptr) {
            timeoutMs = static_cast<int>(
                std::min<std::int64_t>(next->due() - now, std::numeric_limits<int>::max()));
        }
        pollfd signalFd{gSignalPipe[0], POLLIN, 0};
        const int ready = ::poll(&signalFd, 1, timeoutMs);
        if (ready < 0 && errno != EINTR) {
            return unexpected(systemFailure("poll"));
        }
        if (ready > 0 && (signalFd.revents & POLLIN) != 0) {
            unsigned char number = 0;
            if (::read(gSignalPipe[0], &number, 1) == 1) {
                return number;
            }
        }
    }
    return 0;
}

}  // namespace kalindor
