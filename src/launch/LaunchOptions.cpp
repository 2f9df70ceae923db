// SPDX-License-Identifier: GPL-3.0-or-later
#include "launch/LaunchOptions.h"

#include <charconv>
#include <cmath>
#include <string_view>

#include "core/ControlUpdates.h"

namespace kalindor {

namespace {

constexpr double kMaxRunSeconds = 365.0 * 24 * 3600;  // a year; guards the ms conversion

constexpr int kMaxTcpPort = 65535;

// A whole decimal number low..high.
std::optional<int> wholeNumber(std::string_view text, int low, int high) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

// A whole number within the setting's range.
std::optional<int> settingValue(std::string_view text, Setting id) {
    const SettingInfo& info = settingInfo(id);
    return wholeNumber(text, info.low, info.high);
}

// Exactly 1 to 4 hexadecimal digits.
std::optional<std::uint16_t> hex16(std::string_view text) {
    if (text.empty() || text.size() > 4) {
        return std::nullopt;
    }
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

// Seconds as digits with an optional fraction ("2", "0.5"), more than 0; returned in ms.
std::optional<std::int64_t> durationMs(std::string_view text) {
    if (text.empty() || text.front() < '0' || text.front() > '9') {
        return std::nullopt;
    }
    double seconds = 0.0;
    const auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), seconds, std::chars_format::fixed);
    if (ec != std::errc{} || end != text.data() + text.size() || !(seconds > 0.0) ||
        seconds > kMaxRunSeconds) {
        return std::nullopt;
    }
    const auto ms = static_cast<std::int64_t>(std::llround(seconds * 1000.0));
    return ms > 0 ? std::optional<std::int64_t>(ms) : std::nullopt;
}

// The help lines of an option that sets a setting, with its range and default.
std::string settingOptionHelp(std::string_view name, Setting id, std::string_view text) {
    return "  --" + std::string(name) + " " + rangeText(id) + "\n        " + std::string(text) +
           " (default: " + std::to_string(defaultPosition(id)) + ").\n";
}

// The options read so far and, once an argument is found wrong, why (parsing stops there).
struct ParseProgress {
    LaunchOptions options;
    std::string error;
};

struct Parser {
    LaunchProgram program;
    ParseProgress& result;

    // Applies one option with its value; false (and result.error set) when it is not valid.
    bool apply(std::string_view name, std::string_view value) {
        LaunchOptions& options = result.options;
        const auto bad = [&](std::string_view expected) {
            result.error = "invalid value '" + std::string(value) + "' for --" + std::string(name) +
                           " (expected " + std::string(expected) + ")";
            return false;
        };
        if (name == "input") {
            if (value.empty()) {
                return bad("default, monitor, app:NAME, a source name or a file");
            }
            options.input = std::string(value);
            options.inputGiven = true;
        } else if (name == "device") {
            Expected<OutputChoice> device = parseOutputChoice(value);
            if (!device) {
                return bad(device.error());
            }
            if (const std::string_view unbuilt = unbuiltOutput(device->kind); !unbuilt.empty()) {
                result.error = "--device " + std::string(value) + ": this " +
                               (program == LaunchProgram::kCliRun ? "kalindor-cli" : "kalindor") +
                               " was built without " + std::string(unbuilt);
                return false;
            }
            options.devices.push_back(std::move(*device));
            if (Expected<void> together = checkOutputDevices(options.devices); !together) {
                result.error = "--device " + std::string(value) + ": " + together.error();
                return false;
            }
        } else if (name == "usb-id") {
            const std::size_t colon = value.find(':');
            const auto vendor =
                colon == std::string_view::npos ? std::nullopt : hex16(value.substr(0, colon));
            const auto product =
                colon == std::string_view::npos ? std::nullopt : hex16(value.substr(colon + 1));
            if (!vendor || !product) {
                return bad("VVVV:PPPP in hexadecimal");
            }
            options.usbVendorId = *vendor;
            options.usbProductId = *product;
        } else if (name == "ola-port") {
            const auto port = wholeNumber(value, 1, kMaxTcpPort);
            if (!port) {
                return bad("a TCP port 1..65535");
            }
            options.olaPort = port;
        } else if (name == "dmx-levels") {
            if (value == "switch") {
                options.dmxLevels = DmxLevels::kSwitch;
            } else if (value == "dim") {
                options.dmxLevels = DmxLevels::kDim;
            } else {
                return bad("switch or dim");
            }
        } else if (name == "colours") {
            const Expected<ChannelColours> colours = parseColours(value);
            if (!colours) {
                return bad("eight colours RRGGBB separated by commas: " + colours.error());
            }
            options.colours = *colours;
        } else if (name == "light-delay") {
            const auto ms = wholeNumber(value, 0, kMaxLightDelayMs);
            if (!ms) {
                return bad("milliseconds 0.." + std::to_string(kMaxLightDelayMs));
            }
            options.lightDelayMs = ms;
        } else if (name == "for") {
            const auto ms = durationMs(value);
            if (!ms) {
                return bad("seconds, more than 0");
            }
            options.runForMs = ms;
        } else if (name == "no-signal") {
            const auto seconds = settingValue(value, Setting::kNoSignalSeconds);
            if (!seconds) {
                return bad(rangeText(Setting::kNoSignalSeconds));
            }
            options.noSignalSeconds = *seconds;
        } else if (name == "effects") {
            if (value == "off") {
                options.effects = EffectsChoice::kOff;
            } else if (value == "fire") {
                options.effects = EffectsChoice::kFire;
            } else if (value == "wave") {
                options.effects = EffectsChoice::kWave;
            } else if (value == "random") {
                options.effects = EffectsChoice::kRandom;
            } else {
                return bad("off, fire, wave or random");
            }
        } else {
            const auto speed = settingValue(value, Setting::kEffectSpeed);
            if (!speed) {
                return bad(rangeText(Setting::kEffectSpeed));
            }
            options.effectSpeed = *speed;
        }
        return true;
    }

    bool takesValue(std::string_view name) const {
        if (name == "input" || name == "device" || name == "usb-id" || name == "ola-port" ||
            name == "dmx-levels" || name == "light-delay" || name == "colours") {
            return true;
        }
        return program == LaunchProgram::kCliRun && (name == "for" || name == "no-signal" ||
                                                     name == "effects" || name == "effect-speed");
    }

    void run(std::span<const std::string> args) {
        std::string& text = result.options.commandText;
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string_view arg = args[i];
            if (!arg.starts_with("--")) {
                if (!text.empty()) {
                    text += ' ';
                }
                text += arg;
                continue;
            }
            const std::size_t equals = arg.find('=');
            const std::string_view name = arg.substr(
                2, equals == std::string_view::npos ? std::string_view::npos : equals - 2);
            if (name == "help" && equals == std::string_view::npos) {
                result.options.helpRequested = true;
                return;
            }
            if (name == "version" && equals == std::string_view::npos &&
                program == LaunchProgram::kWindow) {
                result.options.versionRequested = true;
                return;
            }
            if (!takesValue(name)) {
                result.error = "unknown option '" + std::string(arg) + "'";
                return;
            }
            std::string_view value;
            if (equals != std::string_view::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < args.size() && !args[i + 1].starts_with("--")) {
                value = args[++i];
            } else {
                result.error = "option --" + std::string(name) + " needs a value";
                return;
            }
            if (!apply(name, value)) {
                return;
            }
        }
        result.options.command = parseCommandLine(text);
    }
};

}  // namespace

Expected<LaunchOptions> parseLaunchOptions(std::span<const std::string> args,
                                           LaunchProgram program) {
    ParseProgress result;
    Parser{program, result}.run(args);
    if (!result.error.empty()) {
        return unexpected(std::move(result.error));
    }
    return std::move(result.options);
}

std::string launchOptionsHelp(LaunchProgram program) {
    std::string help =
        "  --input default|monitor|app:NAME|NAME|FILE\n"
        "        Sound source: the default input, the monitor of the default output, one\n"
        "        program playing (its application name or binary), a source by name, or an\n"
        "        audio file played as if captured (default: default).\n"
        "  --device "
        "usb|sim|none|ola[:UNIVERSE[:FIRST_SLOT[:LAYOUT]]]|gpio:CHIP:L1,...,L8[:active-low]\n"
        "        Light output, may be given more than once: the USB board, a simulated board,\n"
        "        no board, a DMX universe through the local OLA daemon (default 1:1:dimmer;\n"
        "        channel 1 from FIRST_SLOT), or relays on eight GPIO lines (default: usb).\n"
        "        LAYOUT: dimmer (a slot a channel), rgb (3 slots a channel), rgbw (4), or\n"
        "        pixels:N (an LED strip, N LEDs a channel, 3 slots an LED, continued on the\n"
        "        next universes, 170 LEDs each, up to 8 universes).\n";
    std::string unbuilt;
    for (const OutputChoice::Kind kind : {OutputChoice::Kind::kOla, OutputChoice::Kind::kGpio}) {
        if (!unbuiltOutput(kind).empty()) {
            unbuilt += (unbuilt.empty() ? "" : " and ") + std::string(unbuiltOutput(kind));
        }
    }
    if (!unbuilt.empty()) {
        help += "        This program was built without " + unbuilt + ".\n";
    }
    help +=
        "  --usb-id VVVV:PPPP\n"
        "        USB vendor and product id of the board, hexadecimal (default: 03EB:21FF).\n"
        "  --ola-port PORT\n"
        "        TCP port of the OLA daemon (default: 9010).\n"
        "  --dmx-levels switch|dim\n"
        "        DMX value of a lit channel: 255, or the channel's level (default: switch).\n"
        "  --colours C1,C2,C3,C4,C5,C6,C7,C8\n"
        "        Colour of each channel on rgb, rgbw and pixels outputs, as RRGGBB in hex\n"
        "        (default: FF0000,FF00FF,FFFF00,00FF00,00FFFF,0000FF,C0C0FF,FFFFFF).\n"
        "  --light-delay MS\n"
        "        Delay every light output by 0..1000 ms, to line the lights up with speakers\n"
        "        that lag (default: 0).\n";
    if (program == LaunchProgram::kCliRun) {
        help +=
            "  --for SECONDS\n"
            "        Stop after this many seconds (default: run until SIGINT or SIGTERM).\n";
        help += settingOptionHelp("no-signal", Setting::kNoSignalSeconds,
                                  "Seconds without a new light pattern before the effects start");
        help +=
            "  --effects off|fire|wave|random\n"
            "        Effect shown while there is no signal, or off (default: fire).\n";
        help += settingOptionHelp("effect-speed", Setting::kEffectSpeed,
                                  "Tenths of a second per effect step");
    }
    if (program == LaunchProgram::kWindow) {
        help += "  --version\n        Show the version and exit.\n";
    }
    help += "  --help\n        Show this help and exit.\n";
    return help;
}

std::string versionText(std::string_view program) {
    return std::string(program) + " " KALINDOR_VERSION "\n";
}

OutputChoices resolveOutputChoices(OutputChoices saved, const LaunchOptions& options) {
    if (!options.devices.empty()) {
        saved.devices = options.devices;
    }
    saved.usbVendorId = options.usbVendorId.value_or(saved.usbVendorId);
    saved.usbProductId = options.usbProductId.value_or(saved.usbProductId);
    saved.olaPort = options.olaPort.value_or(saved.olaPort);
    saved.dmxLevels = options.dmxLevels.value_or(saved.dmxLevels);
    saved.lightDelayMs = options.lightDelayMs.value_or(saved.lightDelayMs);
    saved.colours = options.colours.value_or(saved.colours);
    return saved;
}

void applyAutomatonOptions(const LaunchOptions& options, SharedState& state) {
    setNoSignalSeconds(state, options.noSignalSeconds);
    setEffectSpeed(state, options.effectSpeed);
    state.AutomatonDisabled = options.effects == EffectsChoice::kOff;
    switch (options.effects) {
        case EffectsChoice::kWave:
            state.EffectKind = kRunningWave;
            break;
        case EffectsChoice::kRandom:
            state.EffectKind = kRandomEffect;
            break;
        case EffectsChoice::kOff:
        case EffectsChoice::kFire:
            state.EffectKind = kRunningFire;
            break;
    }
}

}  // namespace kalindor
