// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/Expected.h"
#include "core/SharedState.h"
#include "launch/CommandLine.h"
#include "launch/OutputChoices.h"

namespace kalindor {

// Which program's options are parsed. Both executables share the common options; `kalindor-cli
// run` adds the automaton and duration options (the window sets those in its dialog instead).
enum class LaunchProgram { kWindow, kCliRun };

enum class EffectsChoice { kOff, kFire, kWave, kRandom };

struct LaunchOptions {
    // Common options.
    // --input: "default", "monitor", "app:NAME", a source name or a file.
    std::string input = "default";
    bool inputGiven = false;  // --input was given (it then overrides the window's saved choice)
    // Light outputs. Each stays empty when its option is not given, so that the window's saved
    // choices can stand in for it (resolveOutputChoices).
    std::vector<OutputChoice> devices;         // --device, repeatable, in the order given
    std::optional<std::uint16_t> usbVendorId;  // --usb-id VVVV:PPPP (hex)
    std::optional<std::uint16_t> usbProductId;
    std::optional<int> olaPort;             // --ola-port 1..65535
    std::optional<DmxLevels> dmxLevels;     // --dmx-levels switch|dim
    std::optional<int> lightDelayMs;        // --light-delay 0..kMaxLightDelayMs
    std::optional<ChannelColours> colours;  // --colours C1,...,C8
    bool helpRequested = false;             // --help; the other fields are then not meaningful
    bool versionRequested = false;          // --version (the window only); likewise

    // The arguments that are not options, joined with single blanks, and what they ask for.
    std::string commandText;
    CommandLineRequest command;

    // kCliRun only; the defaults equal the start-up settings.
    std::optional<std::int64_t> runForMs;  // --for SECONDS (decimal); absent: until a signal
    int noSignalSeconds = defaultPosition(Setting::kNoSignalSeconds);  // --no-signal SECONDS
    EffectsChoice effects = EffectsChoice::kFire;  // --effects off|fire|wave|random
    // --effect-speed, tenths of a second per step.
    int effectSpeed = defaultPosition(Setting::kEffectSpeed);
};

// Parses the arguments after the program name (or after "run"). Options may stand anywhere;
// "--opt value" and "--opt=value" are both accepted. An argument beginning with "--" is always
// an option, never part of the preset text; all other arguments form the preset text
// `PRESET [start[h]]`. "--help" (and the window's "--version") ends the parsing at once. The error
// is a usage error, one line without a program-name prefix.
Expected<LaunchOptions> parseLaunchOptions(std::span<const std::string> args,
                                           LaunchProgram program);

// The option lines for a --help text (each "  --opt ...  description\n").
std::string launchOptionsHelp(LaunchProgram program);

// The answer to --version: "PROGRAM VERSION\n", the version being the project's.
std::string versionText(std::string_view program);

// The output choices of a run: `saved` with every output option that was given replacing its
// part (--device replaces the whole device list).
OutputChoices resolveOutputChoices(OutputChoices saved, const LaunchOptions& options);

// Puts the automaton options into the state through the control update routines. Call it after
// applyStartupDefaults, which would otherwise overwrite them.
void applyAutomatonOptions(const LaunchOptions& options, SharedState& state);

}  // namespace kalindor
