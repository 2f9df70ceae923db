// SPDX-License-Identifier: GPL-3.0-or-later
#include "launch/OutputChoices.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <limits>
#include <optional>
#include <utility>

#include "core/BuildFeatures.h"

namespace kalindor {

namespace {

// A whole decimal number low..high, nothing else.
template <typename T>
std::optional<T> number(std::string_view text, T low, T high) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || value < low ||
        value > high) {
        return std::nullopt;
    }
    return value;
}

// Splits at the first ':'; `rest` is empty and `hasRest` false when there is none.
struct Split {
    std::string_view head;
    std::string_view rest;
    bool hasRest = false;
};

Split splitColon(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        return {text, {}, false};
    }
    return {text.substr(0, colon), text.substr(colon + 1), true};
}

constexpr const char* kOlaForm = "ola[:UNIVERSE[:FIRST_SLOT[:LAYOUT]]]";

// The LAYOUT of an OLA value: dimmer, rgb, rgbw or pixels:N.
std::optional<OutputChoice> olaLayout(std::string_view text, OutputChoice choice) {
    const Split parts = splitColon(text);
    if (!parts.hasRest && parts.head == "dimmer") {
        choice.layout = DmxLayout::kDimmer;
    } else if (!parts.hasRest && parts.head == "rgb") {
        choice.layout = DmxLayout::kRgb;
    } else if (!parts.hasRest && parts.head == "rgbw") {
        choice.layout = DmxLayout::kRgbw;
    } else if (parts.hasRest && parts.head == "pixels") {
        // Bounded far above any strip that fits, so that 8 * N cannot overflow.
        const auto pixels = number<int>(parts.rest, 1, kDmxSlots * kMaxStripUniverses);
        if (!pixels) {
            return std::nullopt;
        }
        choice.layout = DmxLayout::kPixels;
        choice.pixels = *pixels;
    } else {
        return std::nullopt;
    }
    return choice;
}

// The last slot a layout may start at: channel 8's last slot still inside the universe (a
// strip: its first LED).
int maxFirstSlot(const OutputChoice& choice) {
    if (choice.layout == DmxLayout::kPixels) {
        return kDmxSlots - 2;
    }
    return kDmxSlots - kChannelCount * dmxPlacement(choice).slotsPerChannel() + 1;
}

Expected<OutputChoice> parseOla(std::string_view rest, bool hasRest) {
    const auto bad = [] {
        return unexpected(std::string(kOlaForm) + " with UNIVERSE 0.." +
                          std::to_string(std::numeric_limits<std::uint32_t>::max()) +
                          ", FIRST_SLOT 1.." + std::to_string(kMaxFirstSlot) +
                          " and LAYOUT dimmer, rgb, rgbw or pixels:N");
    };
    OutputChoice choice;
    choice.kind = OutputChoice::Kind::kOla;
    if (!hasRest) {
        return choice;
    }
    const Split parts = splitColon(rest);
    const auto universe =
        number<std::uint32_t>(parts.head, 0, std::numeric_limits<std::uint32_t>::max());
    if (!universe) {
        return bad();
    }
    choice.universe = *universe;
    if (!parts.hasRest) {
        return choice;
    }
    const Split slotParts = splitColon(parts.rest);
    const auto slot = number<int>(slotParts.head, 1, kDmxSlots);
    if (!slot) {
        return bad();
    }
    choice.firstSlot = *slot;
    if (slotParts.hasRest) {
        const auto laid = olaLayout(slotParts.rest, choice);
        if (!laid) {
            return bad();
        }
        choice = *laid;
    }
    const std::string layoutText = slotParts.hasRest ? std::string(slotParts.rest) : "dimmer";
    if (choice.firstSlot > maxFirstSlot(choice)) {
        return unexpected(std::string(kOlaForm) + " with FIRST_SLOT 1.." +
                          std::to_string(maxFirstSlot(choice)) + " for " + layoutText);
    }
    const DmxPlacement placement = dmxPlacement(choice);
    if (choice.layout == DmxLayout::kPixels &&
        kChannelCount * choice.pixels > placement.maxLeds()) {
        return unexpected(layoutText + " from slot " + std::to_string(choice.firstSlot) +
                          ": at most " + std::to_string(placement.maxLeds()) +
                          " LEDs (pixels:" + std::to_string(placement.maxLeds() / kChannelCount) +
                          ") fit in " + std::to_string(kMaxStripUniverses) + " universes, not " +
                          std::to_string(kChannelCount * choice.pixels));
    }
    if (choice.universe >
        std::numeric_limits<std::uint32_t>::max() - (placement.universeCount() - 1)) {
        return unexpected(layoutText + " on universe " + std::to_string(choice.universe) +
                          " would continue past the last universe");
    }
    return choice;
}

Expected<OutputChoice> parseGpio(std::string_view rest) {
    const auto bad = [] {
        return unexpected(
            std::string("gpio:CHIP:L1,L2,L3,L4,L5,L6,L7,L8[:active-low] "
                        "with eight different line numbers"));
    };
    const Split chip = splitColon(rest);
    if (chip.head.empty() || !chip.hasRest) {
        return bad();
    }
    OutputChoice choice;
    choice.kind = OutputChoice::Kind::kGpio;
    choice.chip = std::string(chip.head);
    const Split lines = splitColon(chip.rest);
    if (lines.hasRest) {
        if (lines.rest != "active-low") {
            return bad();
        }
        choice.activeLow = true;
    }
    std::string_view list = lines.head;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        const std::size_t comma = list.find(',');
        const bool last = ch == kChannelCount - 1;
        if ((comma == std::string_view::npos) != last) {
            return bad();
        }
        const auto line =
            number<unsigned>(list.substr(0, comma), 0, std::numeric_limits<unsigned>::max());
        if (!line) {
            return bad();
        }
        for (int other = 0; other < ch; ++other) {
            if (choice.lines[other] == *line) {
                return bad();
            }
        }
        choice.lines[ch] = *line;
        list = last ? std::string_view{} : list.substr(comma + 1);
    }
    return choice;
}

}  // namespace

Expected<OutputChoice> parseOutputChoice(std::string_view text) {
    const Split kind = splitColon(text);
    OutputChoice choice;
    if (!kind.hasRest && kind.head == "usb") {
        choice.kind = OutputChoice::Kind::kUsb;
    } else if (!kind.hasRest && kind.head == "sim") {
        choice.kind = OutputChoice::Kind::kSim;
    } else if (!kind.hasRest && kind.head == "none") {
        choice.kind = OutputChoice::Kind::kNone;
    } else if (kind.head == "ola") {
        return parseOla(kind.rest, kind.hasRest);
    } else if (kind.head == "gpio") {
        return parseGpio(kind.rest);
    } else {
        return unexpected(
            std::string("usb, sim, none, ola[:UNIVERSE[:FIRST_SLOT[:LAYOUT]]] or "
                        "gpio:CHIP:L1,...,L8[:active-low]"));
    }
    return choice;
}

std::string formatOutputChoice(const OutputChoice& choice) {
    switch (choice.kind) {
        case OutputChoice::Kind::kSim:
            return "sim";
        case OutputChoice::Kind::kNone:
            return "none";
        case OutputChoice::Kind::kOla: {
            std::string text =
                "ola:" + std::to_string(choice.universe) + ":" + std::to_string(choice.firstSlot);
            switch (choice.layout) {
                case DmxLayout::kRgb:
                    return text + ":rgb";
                case DmxLayout::kRgbw:
                    return text + ":rgbw";
                case DmxLayout::kPixels:
                    return text + ":pixels:" + std::to_string(choice.pixels);
                case DmxLayout::kDimmer:
                    break;
            }
            return text;
        }
        case OutputChoice::Kind::kGpio: {
            std::string text = "gpio:" + choice.chip + ":";
            for (int ch = 0; ch < kChannelCount; ++ch) {
                if (ch != 0) {
                    text += ',';
                }
                text += std::to_string(choice.lines[ch]);
            }
            return choice.activeLow ? text + ":active-low" : text;
        }
        case OutputChoice::Kind::kUsb:
            break;
    }
    return "usb";
}

DmxPlacement dmxPlacement(const OutputChoice& choice) {
    return {choice.universe, choice.firstSlot, choice.layout, choice.pixels};
}

Expected<ChannelColours> parseColours(std::string_view text) {
    ChannelColours colours{};
    int count = 0;
    for (std::string_view rest = text;; ++count) {
        const std::size_t comma = rest.find(',');
        std::string_view item = rest.substr(0, comma);
        if (count < kChannelCount) {
            const std::string_view digits = item.starts_with('#') ? item.substr(1) : item;
            unsigned value = 0;
            const auto [end, ec] =
                std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
            if (digits.size() != 6 || ec != std::errc{} || end != digits.data() + digits.size()) {
                std::string error = "'";
                error.append(item).append("' is not a colour RRGGBB");
                return unexpected(std::move(error));
            }
            colours[count] = {static_cast<std::uint8_t>(value >> 16),
                              static_cast<std::uint8_t>(value >> 8 & 255),
                              static_cast<std::uint8_t>(value & 255)};
        }
        if (comma == std::string_view::npos) {
            ++count;
            break;
        }
        rest = rest.substr(comma + 1);
    }
    if (count != kChannelCount) {
        return unexpected(std::to_string(count) + " colours given, not " +
                          std::to_string(kChannelCount));
    }
    return colours;
}

std::string formatColours(const ChannelColours& colours) {
    std::string text;
    for (const Rgb& colour : colours) {
        char item[8] = {};
        std::snprintf(item, sizeof item, "%02X%02X%02X", colour.red, colour.green, colour.blue);
        if (!text.empty()) {
            text += ',';
        }
        text += item;
    }
    return text;
}

std::string_view unbuiltOutput(OutputChoice::Kind kind) {
    if (kind == OutputChoice::Kind::kOla && !kBuiltWithOla) {
        return "OLA (DMX) output";
    }
    if (kind == OutputChoice::Kind::kGpio && !kBuiltWithGpio) {
        return "GPIO output";
    }
    return {};
}

Expected<void> checkOutputDevices(const std::vector<OutputChoice>& devices) {
    std::optional<OutputChoice::Kind> board;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const OutputChoice& device = devices[i];
        const OutputChoice::Kind kind = device.kind;
        if (const std::string_view unbuilt = unbuiltOutput(kind); !unbuilt.empty()) {
            return unexpected("this program was built without " + std::string(unbuilt));
        }
        if (kind == OutputChoice::Kind::kUsb || kind == OutputChoice::Kind::kSim ||
            kind == OutputChoice::Kind::kNone) {
            if (board == kind) {
                return unexpected(formatOutputChoice(device) + " is given more than once");
            }
            if (board) {
                return unexpected(std::string("usb, sim and none cannot be combined"));
            }
            board = kind;
            continue;
        }
        for (std::size_t j = 0; j < i; ++j) {
            const OutputChoice& other = devices[j];
            if (other.kind != kind) {
                continue;
            }
            if (kind == OutputChoice::Kind::kOla && other.universe == device.universe) {
                return unexpected("OLA universe " + std::to_string(device.universe) +
                                  " is given more than once");
            }
            if (kind == OutputChoice::Kind::kOla) {
                // Universe ranges [first, last] of both; they cannot wrap (parseOla checks).
                const std::uint64_t first = device.universe;
                const std::uint64_t last = first + dmxPlacement(device).universeCount() - 1;
                const std::uint64_t otherFirst = other.universe;
                const std::uint64_t otherLast =
                    otherFirst + dmxPlacement(other).universeCount() - 1;
                if (first <= otherLast && otherFirst <= last) {
                    return unexpected(formatOutputChoice(other) + " and " +
                                      formatOutputChoice(device) + " both use OLA universe " +
                                      std::to_string(std::max(first, otherFirst)));
                }
            }
            if (kind == OutputChoice::Kind::kGpio && other.chip == device.chip) {
                return unexpected("GPIO chip " + device.chip + " is given more than once");
            }
        }
    }
    return {};
}

OutputChoice::Kind boardKind(const std::vector<OutputChoice>& devices) {
    for (const OutputChoice& device : devices) {
        if (device.kind == OutputChoice::Kind::kUsb || device.kind == OutputChoice::Kind::kSim) {
            return device.kind;
        }
    }
    return OutputChoice::Kind::kNone;
}

}  // namespace kalindor
