#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/LightDevice.h"

namespace kalindor::test {

// A light device that records every call and answers as told.
class FakeLightDevice final : public LightDevice {
public:
    struct Call {
        enum Kind { kInfra, kDirections, kOut } kind;
        PortBytes ports;  // unused for kInfra
        friend bool operator==(const Call&, const Call&) = default;
    };

    std::int32_t DoGetInfraCode(std::int32_t& code, std::int32_t value,
                                std::int32_t& count) override;
    std::int32_t DoSetDataPortDirections(std::uint8_t first, std::uint8_t second,
                                         std::uint8_t third, std::uint8_t usedPorts) override;
    std::int32_t DoSetOutDataPorts(std::uint8_t first, std::uint8_t second, std::uint8_t third,
                                   std::uint8_t usedPorts) override;

    // Port writes only, in order.
    std::vector<PortBytes> outWrites() const;

    bool connected = true;  // answers kNotConnected when false
    std::vector<Call> calls;
};

}  // namespace kalindor::test
