// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

#include "core/Expected.h"
#include "core/TimerPort.h"

namespace kalindor {

// The headless event loop: timers on the monotonic clock, served by poll() on the calling
// thread, and SIGINT/SIGTERM turned into an orderly end of run(). One loop per process (the
// signal handlers are process-wide); every method is called on the thread that runs it.
class PollEventLoop final : public TimerPort {
  public:
    PollEventLoop() = default;
    ~PollEventLoop() override;
    PollEventLoop(const PollEventLoop&) = delete;
    PollEventLoop& operator=(const PollEventLoop&) = delete;

    std::unique_ptr<Timer> createTimer(std::function<void()> onTick) override;
    std::int64_t nowMs() const override;

    // Installs handlers that end run() when one of these signals arrives; the previous
    // handlers come back when the loop is destroyed. Fails, installing nothing, when the pipe
    // that carries a signal to run() cannot be made ("pipe2: reason").
    Expected<void> watchSignals(std::initializer_list<int> signals);

    // Serves timers until quit() is called or a watched signal arrives. Returns the signal's
    // number, or 0 after quit(); fails when poll() does ("poll: reason"). Never spins: it
    // sleeps in poll() until the next due timer.
    Expected<int> run();
    // Ends run() after the current callback returns.
    void quit();

  private:
    class PollTimer;
    friend class PollTimer;
    PollTimer* nextDue() const;

    std::vector<PollTimer*> timers_;
    std::vector<std::pair<int, void (*)(int)>> previousHandlers_;
    bool quitRequested_ = false;
};

}  // namespace kalindor
