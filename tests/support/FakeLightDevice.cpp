#include "support/FakeLightDevice.h"

namespace kalindor::test {

std::int32_t FakeLightDevice::DoGetInfraCode(std::int32_t&, std::int32_t, std::int32_t&) {
    calls.push_back({Call::kInfra, {}});
    return connected ? 0 : kNotConnected;
}

std::int32_t FakeLightDevice::DoSetDataPortDirections(std::uint8_t first, std::uint8_t second,
                                                      std::uint8_t third,
                                                      std::uint8_t usedPorts) {
    calls.push_back({Call::kDirections, {first, second, third, usedPorts}});
    return connected ? 0 : kNotConnected;
}

std::int32_t FakeLightDevice::DoSetOutDataPorts(std::uint8_t first, std::uint8_t second,
                                                std::uint8_t third, std::uint8_t usedPorts) {
    calls.push_back({Call::kOut, {first, second, third, usedPorts}});
    return connected ? 0 : kNotConnected;
}

std::vector<PortBytes> FakeLightDevice::outWrites() const {
    std::vector<PortBytes> writes;
    for (const Call& call : calls) {
        if (call.kind == Call::kOut) {
            writes.push_back(call.ports);
        }
    }
    return writes;
}

}  // namespace kalindor::test
