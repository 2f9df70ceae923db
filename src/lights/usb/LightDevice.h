// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace kalindor {

// Result of a board call that means "the board is not connected".
inline constexpr std::int32_t kNotConnected = 1;

// The USB I/O board's three library calls. Backends: the USB board, a simulated board (always
// connected) and an absent one (never connected). Only BoardOutput calls them, from the main
// thread; none may block for long (a transfer gives up within 500 ms).
class LightDevice {
  public:
    virtual ~LightDevice() = default;

    // Probe. Returns kNotConnected when there is no device, any other value when there is.
    // The three arguments are the library's; nothing returned through them is read.
    virtual std::int32_t DoGetInfraCode(std::int32_t& code, std::int32_t value,
                                        std::int32_t& count) = 0;
    // Port directions; the program always passes 255, 255, 0, 3. Result ignored.
    virtual std::int32_t DoSetDataPortDirections(std::uint8_t first, std::uint8_t second,
                                                 std::uint8_t third, std::uint8_t usedPorts) = 0;
    // Output port values. Returns kNotConnected when the device is not connected.
    virtual std::int32_t DoSetOutDataPorts(std::uint8_t first, std::uint8_t second,
                                           std::uint8_t third, std::uint8_t usedPorts) = 0;
};

// The four bytes one light pattern is written as.
struct PortBytes {
    std::uint8_t first = 0;
    std::uint8_t second = 0;
    std::uint8_t third = 0;
    std::uint8_t usedPorts = 3;
    friend bool operator==(const PortBytes&, const PortBytes&) = default;
};

// The one split of a light pattern into port bytes. Channels 0..5 go to the low six bits of the
// second port; channels 6 and 7 go to bits 2 and 3 of the first port (the board's firmware lets
// only PB2..PB5 be driven there).
constexpr PortBytes portBytesForPattern(std::uint8_t pattern) {
    return PortBytes{static_cast<std::uint8_t>((pattern >> 6) << 2),
                     static_cast<std::uint8_t>(pattern & 63), 0, 3};
}

// Writes a pattern; returns the device's answer (kNotConnected or another value).
inline std::int32_t writePattern(LightDevice& device, std::uint8_t pattern) {
    const PortBytes ports = portBytesForPattern(pattern);
    return device.DoSetOutDataPorts(ports.first, ports.second, ports.third, ports.usedPorts);
}

// Probes the device; true when connected.
inline bool probeDevice(LightDevice& device) {
    std::int32_t code = 0;
    std::int32_t count = 0;
    return device.DoGetInfraCode(code, 0, count) != kNotConnected;
}

}  // namespace kalindor
