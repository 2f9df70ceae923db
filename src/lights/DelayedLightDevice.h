// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/LightDevice.h"
#include "core/TimerPort.h"

namespace kalindor {

// Plays every call of a light device `delayMs` later, in order, none lost or merged: probes,
// port writes, automaton steps, buffer frames and start/stop alike, so the lights line up with
// speakers that lag. Calls wait in a fixed-size queue (no allocation per call) and are performed by
// one timer of `timers` when due on its clock. A queue that still fills up performs its oldest call
// at once to make room.
//
// A delayed call cannot wait for the device's answer: every call answers the last answer the
// device gave (kNotConnected or another value), and the device is probed once on construction
// so that there is one from the start. Calls still waiting when this object is destroyed are
// performed at once, in order. Main thread only.
class DelayedLightDevice final : public LightDevice {
  public:
    // Room for a second of the longest delay: up to three calls per 8 ms buffer (levels, a
    // pattern write, its probe), ten automaton steps, and the calls of a Start or Stop.
    static constexpr std::size_t kCapacity = 512;

    // `target` and `timers` must outlive this object; delayMs is 1..kMaxLightDelayMs.
    DelayedLightDevice(LightDevice& target, TimerPort& timers, int delayMs);
    ~DelayedLightDevice() override;
    DelayedLightDevice(const DelayedLightDevice&) = delete;
    DelayedLightDevice& operator=(const DelayedLightDevice&) = delete;

    std::int32_t DoGetInfraCode(std::int32_t& code, std::int32_t value,
                                std::int32_t& count) override;
    std::int32_t DoSetDataPortDirections(std::uint8_t first, std::uint8_t second,
                                         std::uint8_t third, std::uint8_t usedPorts) override;
    std::int32_t DoSetOutDataPorts(std::uint8_t first, std::uint8_t second, std::uint8_t third,
                                   std::uint8_t usedPorts) override;
    std::int32_t writeStepPattern(std::uint8_t pattern) override;
    void showFrame(const LightFrame& frame) override;
    void setRunning(bool running) override;

  private:
    struct Call {
        enum class Kind : std::uint8_t { kProbe, kDirections, kPorts, kStep, kFrame, kRunning };
        Kind kind = Kind::kProbe;
        PortBytes ports;     // kDirections, kPorts; kStep: the pattern in `first`;
                             // kRunning: 1 or 0 in `first`
        LightFrame frame{};  // kFrame
        std::int64_t dueMs = 0;
    };

    std::int32_t push(Call::Kind kind, const PortBytes& ports = {}, const LightFrame& frame = {});
    void perform(const Call& call);
    void popFront();
    void performDue();

    LightDevice& target_;
    TimerPort& timers_;
    int delayMs_;
    std::unique_ptr<Timer> timer_;
    std::array<Call, kCapacity> queue_{};
    std::size_t head_ = 0;
    std::size_t count_ = 0;
    std::int32_t lastAnswer_ = kNotConnected;
};

}  // namespace kalindor
