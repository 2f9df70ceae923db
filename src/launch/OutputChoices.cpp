// SPDX-License-Identifier: GPL-3.0-or-later
#include "launch/OutputChoices.h"

#include <charconv>
#include <limits>
#include <optional>

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

Expected<OutputChoice> parseOla(std::string_view rest, bool hasRest) {
    const auto bad = [] {
        return unexpected(std::string("ola[:UNIVERSE[:FIRST_SLOT]] with UNIVERSE 0..") +
                          std::to_string(std::numeric_limits<std::uint32_t>::max()) +
                          " and FIRST_SLOT 1.." + std::to_string(kMaxFirstSlot));
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
    if (parts.hasRest) {
        const auto slot = number<int>(parts.rest, 1, kMaxFirstSlot);
        if (!slot) {
            return bad();
        }
        choice.firstSlot = *slot;
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
            std::string("usb, sim, none, ola[:UNIVERSE[:FIRST_SLOT]] or "
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
        case OutputChoice::Kind::kOla:
            return "ola:" + std::to_string(choice.universe) + ":" +
                   std::to_string(choice.firstSlot);
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
