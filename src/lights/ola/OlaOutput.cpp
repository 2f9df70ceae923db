// SPDX-License-Identifier: GPL-3.0-or-later
#include "lights/ola/OlaOutput.h"

#include <ola/DmxBuffer.h>
#include <ola/client/StreamingClient.h>
#include <pthread.h>
#include <signal.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace kalindor {

namespace {

using Clock = std::chrono::steady_clock;
// The DMX values of channels 0..7.
using ChannelSlots = std::array<std::uint8_t, kChannelCount>;

// Network receivers drop a source after about 2.5 s of silence; two frames a second keep
// every receiver fed with room to spare.
constexpr auto kRepeatPeriod = std::chrono::milliseconds(500);
// Connection attempts to an absent daemon, at most one per period.
constexpr auto kRetryPeriod = std::chrono::seconds(1);
// olad drops a frame that arrives together with the close of its connection, so the last
// frame (the dark frame at the end of a run) gets this long to be read before the close.
constexpr auto kCloseDelay = std::chrono::milliseconds(100);

ChannelSlots slotsOf(const LightFrame& frame, DmxLevels levels) {
    ChannelSlots slots{};
    for (int ch = 0; ch < kChannelCount; ++ch) {
        if ((frame.pattern >> ch & 1) != 0) {
            slots[ch] = levels == DmxLevels::kDim ? frame.levels[ch] : 255;
        }
    }
    return slots;
}

// Signal handlers keep running on the program's other threads, and a write to a socket whose
// daemon died fails with EPIPE here instead of raising SIGPIPE.
void blockSignalsOnThisThread() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
}

// Connects to the daemon on 127.0.0.1:port; null when it does not answer. Never starts a
// daemon of its own.
std::unique_ptr<ola::client::StreamingClient> connectTo(int port) {
    ola::client::StreamingClient::Options options;
    options.auto_start = false;
    options.server_port = static_cast<std::uint16_t>(port);
    auto client = std::make_unique<ola::client::StreamingClient>(options);
    if (!client->Setup()) {
        return nullptr;
    }
    return client;
}

// The main thread only stores the latest slot values and wakes the worker; the worker owns
// the connection, sends on every change, repeats while running and reconnects.
class OlaOutput final : public LightOutput {
  public:
    explicit OlaOutput(const OlaOutputOptions& options)
        : options_(options), worker_([this] { run(); }) {}

    ~OlaOutput() override {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_one();
        worker_.join();
    }

    std::string name() const override { return "OLA " + std::to_string(options_.universe); }

    void show(const LightFrame& frame) override {
        const ChannelSlots slots = slotsOf(frame, options_.levels);
        {
            std::lock_guard lock(mutex_);
            if (slots == slots_) {
                return;
            }
            slots_ = slots;
            pending_ = true;
        }
        wake_.notify_one();
    }

    void setRunning(bool running) override {
        {
            std::lock_guard lock(mutex_);
            running_ = running;
            if (!running) {
                slots_ = {};
            }
            pending_ = true;  // the current frame at once on start, the dark frame on stop
        }
        wake_.notify_one();
    }

    bool connected() const override { return connected_.load(std::memory_order_relaxed); }

  private:
    void run();

    const OlaOutputOptions options_;
    std::mutex mutex_;
    std::condition_variable wake_;
    ChannelSlots slots_{};  // guarded by mutex_, as are the three flags
    bool pending_ = true;   // slots_ not yet sent; always true while disconnected
    bool running_ = false;
    bool quit_ = false;
    std::atomic<bool> connected_{false};
    std::thread worker_;  // last: starts once everything above is set up
};

void OlaOutput::run() {
    blockSignalsOnThisThread();
    std::unique_ptr<ola::client::StreamingClient> client;
    ola::DmxBuffer buffer;
    buffer.Blackout();  // a whole universe; the slots outside the eight stay 0
    Clock::time_point nextAttempt = Clock::now();
    Clock::time_point nextRepeat = nextAttempt;
    Clock::time_point lastSend;

    std::unique_lock lock(mutex_);
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (!client && !quit_ && now >= nextAttempt) {
            lock.unlock();
            client = connectTo(options_.port);
            lock.lock();
            nextAttempt = now + kRetryPeriod;
            connected_ = client != nullptr;
            continue;
        }
        if (client && (pending_ || (running_ && now >= nextRepeat))) {
            const ChannelSlots slots = slots_;
            pending_ = false;
            lock.unlock();
            for (int ch = 0; ch < kChannelCount; ++ch) {
                buffer.SetChannel(static_cast<unsigned>(options_.firstSlot - 1 + ch), slots[ch]);
            }
            const bool sent = client->SendDmx(options_.universe, buffer);
            lock.lock();
            if (sent) {
                lastSend = Clock::now();
                nextRepeat = lastSend + kRepeatPeriod;
            } else {
                // The daemon went away: reconnect at once unless the last attempt was less
                // than a retry period ago, and send the current frame then.
                client.reset();
                connected_ = false;
                pending_ = true;
            }
            continue;
        }
        if (quit_) {
            if (client) {
                lock.unlock();
                std::this_thread::sleep_until(lastSend + kCloseDelay);
            }
            return;
        }
        const auto ready = [&] { return quit_ || (client && pending_); };
        if (!client) {
            wake_.wait_until(lock, nextAttempt, ready);
        } else if (running_) {
            wake_.wait_until(lock, nextRepeat, ready);
        } else {
            wake_.wait(lock, ready);
        }
    }
}

}  // namespace

std::unique_ptr<LightOutput> createOlaOutput(const OlaOutputOptions& options) {
    return std::make_unique<OlaOutput>(options);
}

}  // namespace kalindor
