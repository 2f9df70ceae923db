// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "core/LightOutput.h"
#include "lights/usb/BoardOutput.h"
#include "lights/usb/LightDevice.h"

namespace kalindor::test {

// A light device that records every call and answers kNotConnected while not `connected`,
// else 0. It is also a light sink: frames reach it through a real BoardOutput, so a test of the
// level chain, the automaton or the engine sees the board calls their frames cause.
class FakeLightDevice final : public LightDevice, public LightSink {
  public:
    struct Call {
        enum Kind { kInfra, kDirections, kOut } kind;
        PortBytes ports;  // unused for kInfra
        friend bool operator==(const Call&, const Call&) = default;
    };

    FakeLightDevice() = default;
    // Assigning a fresh fake resets the record and the answer; the frame state stays, as the
    // producers' own does.
    FakeLightDevice& operator=(const FakeLightDevice& other) {
        connected = other.connected;
        calls = other.calls;
        return *this;
    }

    std::int32_t DoGetInfraCode(std::int32_t&, std::int32_t, std::int32_t&) override {
        return record({Call::kInfra, {}});
    }
    std::int32_t DoSetDataPortDirections(std::uint8_t first, std::uint8_t second,
                                         std::uint8_t third, std::uint8_t usedPorts) override {
        return record({Call::kDirections, {first, second, third, usedPorts}});
    }
    std::int32_t DoSetOutDataPorts(std::uint8_t first, std::uint8_t second, std::uint8_t third,
                                   std::uint8_t usedPorts) override {
        return record({Call::kOut, {first, second, third, usedPorts}});
    }
    std::optional<bool> show(const LightFrame& frame) override {
        output_.show(frame);
        return output_.takeAnswer();
    }
    void setRunning(bool running) override { output_.setRunning(running); }

    // Port writes only, in order.
    std::vector<PortBytes> outWrites() const {
        std::vector<PortBytes> writes;
        for (const Call& call : calls) {
            if (call.kind == Call::kOut) {
                writes.push_back(call.ports);
            }
        }
        return writes;
    }

    bool connected = true;
    std::vector<Call> calls;

  private:
    std::int32_t record(const Call& call) {
        calls.push_back(call);
        return connected ? 0 : kNotConnected;
    }

    BoardOutput output_{*this};
};

}  // namespace kalindor::test
