// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/Expected.h"
#include "core/SoundInput.h"
#include "core/TimerPort.h"

namespace kalindor {

// The capture layer under Timer1: one request per tick, completed from the input's ring.
// A tick takes the buffer at once when 256 fresh samples are there; otherwise it arms a
// one-shot wait timer for the time the rest needs and returns, so the event loop never blocks
// and never spins. A tick that comes while a request is outstanding is skipped. Main thread
// only.
class Capture {
  public:
    // How long the input may deliver nothing before it counts as gone.
    static constexpr std::int64_t kSourceLostAfterMs = 1000;

    // processBuffer receives CaptureBuffer (256 samples) once per completed request.
    // input and timers must outlive the capture.
    Capture(SoundInput& input, TimerPort& timers,
            std::function<void(const std::uint8_t*)> processBuffer);
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    // Opens the input; the error is the failure detail.
    Expected<void> open();
    // The work of one Timer1 tick.
    void CaptureTick();
    // Stop: the input is closed; an outstanding request ends and the pipeline runs once more
    // on CaptureBuffer as it stands, so the stop still delivers the sound the request was for.
    void stop();
    // Close: the input is closed and an outstanding request dropped without processing.
    void close();
    bool inputOpen() const { return input_.isOpen(); }
    bool requestOutstanding() const { return requestOutstanding_; }

    // Called once per loss, on the main thread, when the open input has delivered nothing for
    // kSourceLostAfterMs, reports a failure, or a finite source has ended. Nothing is stopped here:
    // the handler stops capture as Stop does.
    void setSourceLostHandler(std::function<void(const std::string& detail)> handler);

    // The one 256-byte snapshot buffer, reused for the whole run.
    const std::array<std::uint8_t, kBufferSamples>& CaptureBuffer() const { return CaptureBuffer_; }

    // Counters since the last open, for the run statistics and the tests.
    std::uint64_t ticks() const { return ticks_; }
    std::uint64_t buffersProcessed() const { return buffersProcessed_; }
    std::uint64_t ticksSkipped() const { return ticksSkipped_; }
    // Buffers whose samples overlapped the previous buffer's; stays 0 unless the input
    // hands out a sample twice.
    std::uint64_t buffersOverlapping() const { return buffersOverlapping_; }

  private:
    void onWaitTimer();
    // Takes the buffer and runs the pipeline when ready; else checks for a lost source; else
    // (re)arms the wait timer.
    void completeOrWait();
    void finishRequest();
    bool checkSourceLost();

    SoundInput& input_;
    std::function<void(const std::uint8_t*)> processBuffer_;
    std::function<void(const std::string&)> onSourceLost_;
    std::unique_ptr<Timer> waitTimer_;
    std::array<std::uint8_t, kBufferSamples> CaptureBuffer_{};
    bool requestOutstanding_ = false;
    bool lossReported_ = false;
    std::uint64_t ticks_ = 0;
    std::uint64_t buffersProcessed_ = 0;
    std::uint64_t ticksSkipped_ = 0;
    std::uint64_t buffersOverlapping_ = 0;
    std::uint64_t previousBufferEnd_ = 0;  // samplesCaptured() at the previous take
};

}  // namespace kalindor
