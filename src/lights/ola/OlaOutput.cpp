// SPDX-License-Identifier: GPL-3.0-or-later
#include "lights/ola/OlaOutput.h"

#include <ola/DmxBuffer.h>
#include <ola/client/StreamingClient.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kalindor {

namespace {

using Clock = std::chrono::steady_clock;
// What channels 0..7 show: their colour at their brightness (dimmer: white, so that red is
// the one slot's value); black when dark.
using ChannelSlots = std::array<Rgb, kChannelCount>;

// Network receivers drop a source after about 2.5 s of silence; two frames a second keep
// every receiver fed with room to spare.
constexpr auto kRepeatPeriod = std::chrono::milliseconds(500);
// Connection attempts to an absent daemon, at most one per period.
constexpr auto kRetryPeriod = std::chrono::seconds(1);
// olad drops a frame that arrives together with the close of its connection, so the last
// frame (the dark frame at the end of a run) gets this long to be read before the close.
constexpr auto kCloseDelay = std::chrono::milliseconds(100);

std::uint8_t scaled(std::uint8_t value, std::uint8_t level) {
    return static_cast<std::uint8_t>((value * level + 127) / 255);
}

ChannelSlots slotsOf(const LightFrame& frame, const OlaOutputOptions& options) {
    ChannelSlots slots{};
    for (int ch = 0; ch < kChannelCount; ++ch) {
        if ((frame.pattern >> ch & 1) != 0) {
            const Rgb colour = options.layout == DmxLayout::kDimmer ? kWhite : options.colours[ch];
            const std::uint8_t level =
                options.levels == DmxLevels::kDim ? frame.levels[ch] : std::uint8_t{255};
            slots[ch] = {scaled(colour.red, level), scaled(colour.green, level),
                         scaled(colour.blue, level)};
        }
    }
    return slots;
}

// Writes `slots` into the buffers of the placement's universes (each a whole universe).
void fill(const DmxPlacement& placement, const ChannelSlots& slots,
          std::vector<ola::DmxBuffer>& buffers) {
    const auto base = static_cast<unsigned>(placement.firstSlot - 1);
    for (unsigned ch = 0; ch < kChannelCount; ++ch) {
        const Rgb& c = slots[ch];
        switch (placement.layout) {
            case DmxLayout::kDimmer:
                buffers[0].SetChannel(base + ch, c.red);
                break;
            case DmxLayout::kRgb:
                buffers[0].SetChannel(base + 3 * ch, c.red);
                buffers[0].SetChannel(base + 3 * ch + 1, c.green);
                buffers[0].SetChannel(base + 3 * ch + 2, c.blue);
                break;
            case DmxLayout::kRgbw: {
                const std::uint8_t white = std::min({c.red, c.green, c.blue});
                buffers[0].SetChannel(base + 4 * ch, static_cast<std::uint8_t>(c.red - white));
                buffers[0].SetChannel(base + 4 * ch + 1,
                                      static_cast<std::uint8_t>(c.green - white));
                buffers[0].SetChannel(base + 4 * ch + 2, static_cast<std::uint8_t>(c.blue - white));
                buffers[0].SetChannel(base + 4 * ch + 3, white);
                break;
            }
            case DmxLayout::kPixels: {
                const int inFirst = placement.ledsInFirstUniverse();
                for (int led = static_cast<int>(ch) * placement.pixels;
                     led < static_cast<int>(ch + 1) * placement.pixels; ++led) {
                    const int later = led - inFirst;
                    ola::DmxBuffer& buffer =
                        buffers[later < 0 ? 0
                                          : 1 + static_cast<std::size_t>(later / kLedsPerUniverse)];
                    const auto slot =
                        static_cast<unsigned>(later < 0 ? static_cast<int>(base) + 3 * led
                                                        : 3 * (later % kLedsPerUniverse));
                    buffer.SetChannel(slot, c.red);
                    buffer.SetChannel(slot + 1, c.green);
                    buffer.SetChannel(slot + 2, c.blue);
                }
                break;
            }
        }
    }
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
        const ChannelSlots slots = slotsOf(frame, options_);
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
    const DmxPlacement placement_{options_.universe, options_.firstSlot, options_.layout,
                                  options_.pixels};
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
    // Whole universes; the slots outside the layout stay 0.
    std::vector<ola::DmxBuffer> buffers(static_cast<std::size_t>(placement_.universeCount()));
    for (ola::DmxBuffer& buffer : buffers) {
        buffer.Blackout();
    }
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
            fill(placement_, slots, buffers);
            bool sent = true;
            for (std::size_t i = 0; i < buffers.size() && sent; ++i) {
                sent =
                    client->SendDmx(options_.universe + static_cast<std::uint32_t>(i), buffers[i]);
            }
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
