// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/Expected.h"
#include "core/LightOutput.h"
#include "core/SharedState.h"

namespace kalindor {

inline constexpr std::uint16_t kDefaultUsbVendorId = 0x03EB;
inline constexpr std::uint16_t kDefaultUsbProductId = 0x21FF;
inline constexpr int kMaxLightDelayMs = 1000;
// Channel 8 must still fall inside the universe (the dimmer layout).
inline constexpr int kMaxFirstSlot = kDmxSlots - kChannelCount + 1;

// One --device value: "usb", "sim", "none", "ola[:UNIVERSE[:FIRST_SLOT[:LAYOUT]]]" with LAYOUT
// dimmer, rgb, rgbw or pixels:N,
// "gpio:CHIP:L1,L2,L3,L4,L5,L6,L7,L8[:active-low]".
struct OutputChoice {
    enum class Kind { kUsb, kSim, kNone, kOla, kGpio };
    Kind kind = Kind::kUsb;
    std::uint32_t universe = 1;                   // ola
    int firstSlot = 1;                            // ola: DMX slot of channel 1
    DmxLayout layout = DmxLayout::kDimmer;        // ola
    int pixels = 1;                               // ola, pixels layout: LEDs per channel
    std::string chip{};                           // gpio: chip name, e.g. "gpiochip0"
    std::array<unsigned, kChannelCount> lines{};  // gpio: line offset of each channel
    bool activeLow = false;                       // gpio: a lit channel drives its line low
    friend bool operator==(const OutputChoice&, const OutputChoice&) = default;
};

// Every light-output choice of a run.
struct OutputChoices {
    std::vector<OutputChoice> devices{OutputChoice{}};  // in the order given; never empty
    std::uint16_t usbVendorId = kDefaultUsbVendorId;
    std::uint16_t usbProductId = kDefaultUsbProductId;
    int olaPort = kDefaultOlaPort;  // TCP port of the local OLA daemon
    DmxLevels dmxLevels = DmxLevels::kSwitch;
    int lightDelayMs = 0;                             // 0..kMaxLightDelayMs
    ChannelColours colours = kDefaultChannelColours;  // what colour lights show per channel
    friend bool operator==(const OutputChoices&, const OutputChoices&) = default;
};

// Parses one --device value; the error is the form that was expected, e.g. "ola[:UNIVERSE...".
Expected<OutputChoice> parseOutputChoice(std::string_view text);
// The --device value that parses back to `choice`.
std::string formatOutputChoice(const OutputChoice& choice);

// Where an OLA choice puts its channels.
DmxPlacement dmxPlacement(const OutputChoice& choice);

// Parses a --colours value: eight colours RRGGBB (hex, '#' optional) separated by commas. The
// error names the first bad item, or says how many were given.
Expected<ChannelColours> parseColours(std::string_view text);
// The --colours value that parses back to `colours` ("FF0000,FF00FF,...").
std::string formatColours(const ChannelColours& colours);

// The output of `kind` when this build lacks it ("OLA (DMX) output", "GPIO output"), empty
// when it has it: OLA and GPIO can be left out when the program is built.
std::string_view unbuiltOutput(OutputChoice::Kind kind);

// Checks that a run's devices can go together: each one built into this program, at most one
// of usb, sim and none (they all name the board), each OLA universe and each GPIO chip at most
// once (an output owns its whole universe or chip, and a strip every universe it continues on).
// The error is one line.
Expected<void> checkOutputDevices(const std::vector<OutputChoice>& devices);

// The board of a run: the usb, sim or none device given; none (no board) when only other
// outputs are given.
OutputChoice::Kind boardKind(const std::vector<OutputChoice>& devices);

}  // namespace kalindor
