// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

#include "core/LightDevice.h"

namespace kalindor::test {

// A light device that records every call and answers kNotConnected while not `connected`,
// else 0.
class FakeLightDevice final : public LightDevice {
  public:
    struct Call {
        enum Kind { kInfra, kDirections, kOut } kind;
        PortBytes ports;  // unused for kInfra
        friend bool operator==(const Call&, const Call&) = default;
    };

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
};

}  // namespace kalindor::test
