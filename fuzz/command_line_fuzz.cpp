// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line parser and the launch options on arbitrary text. Input layout: one byte whose
// lowest bit chooses the program (0 the window, 1 `kalindor-cli run`), then the arguments
// separated by NUL bytes; the same bytes, NULs included, are also parsed as one command text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "core/SharedState.h"
#include "launch/CommandLine.h"
#include "launch/LaunchOptions.h"

namespace kalindor {
namespace {

using fuzz::require;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

std::size_t utf8Characters(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) {
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
}

// What parseCommandLine promises about any text.
void checkCommandLine(std::string_view input, const CommandLineRequest& request) {
    const std::string_view text = trimmed(input);
    require(text.starts_with(request.FName), "FName is the start of the trimmed text");
    const std::string suffix = lowered(text.substr(request.FName.size()));
    require(suffix.empty() || suffix == "start" || suffix == "starth",
            "only \"start\" or \"starth\" is stripped");
    require(request.StartRequested == !suffix.empty(), "start requested exactly when stripped");
    if (suffix == "starth") {
        require(request.HideRequested, "\"starth\" requests hiding");
    }
    if (request.HideRequested) {
        require(utf8Characters(text) >= 5 && (text.back() == 'h' || text.back() == 'H'),
                "hide only for a text of 5 or more characters ending in h");
    } else {
        require(utf8Characters(text) < 5 || (text.back() != 'h' && text.back() != 'H'),
                "a text of 5 or more characters ending in h requests hiding");
    }
    if (!request.StartRequested && utf8Characters(text) >= 5) {
        require(lowered(text.substr(text.size() - 5)) != "start",
                "a text ending in start requests a start");
    }
    std::string_view path = request.FName;
    while (!path.empty() && isBlank(path.back())) {
        path.remove_suffix(1);
    }
    require(request.path == path, "path is FName without trailing blanks");
}

void checkLaunchOptions(const std::vector<std::string>& args, LaunchProgram program) {
    const Expected<LaunchOptions> parsed = parseLaunchOptions(args, program);
    const LaunchOptions defaults;
    // --help and --version end the parse where they stand (the program answers and exits), so
    // nothing after them, the command text included, is parsed.
    if (!parsed || parsed->helpRequested || parsed->versionRequested) {
        return;
    }
    const LaunchOptions& options = *parsed;
    bool anyOption = false;
    std::string joined;
    for (const std::string& arg : args) {
        anyOption = anyOption || arg.starts_with("--");
        if (!arg.starts_with("--")) {
            joined += joined.empty() ? arg : " " + arg;
        }
    }
    if (!anyOption) {
        require(options.commandText == joined, "without options the text is the joined arguments");
    }
    const CommandLineRequest again = parseCommandLine(options.commandText);
    require(options.command.FName == again.FName && options.command.path == again.path &&
                options.command.StartRequested == again.StartRequested &&
                options.command.HideRequested == again.HideRequested,
            "the request is the parse of the command text");
    checkCommandLine(options.commandText, options.command);
    require(!options.input.empty(), "an input is always named");
    require(options.noSignalSeconds >= 1 && options.noSignalSeconds <= 10,
            "--no-signal within 1..10");
    require(options.effectSpeed >= 1 && options.effectSpeed <= 10, "--effect-speed within 1..10");
    require(!options.runForMs || *options.runForMs > 0, "--for is positive");
    if (program == LaunchProgram::kWindow) {
        require(!options.runForMs && options.noSignalSeconds == defaults.noSignalSeconds &&
                    options.effects == defaults.effects &&
                    options.effectSpeed == defaults.effectSpeed,
                "the window takes no run options");
    }

    SharedState state;
    applyAutomatonOptions(options, state);
    require(state.NoSignalSeconds >= 1 && state.NoSignalSeconds <= 10,
            "NoSignalSeconds within 1..10");
    require(state.EffectIntervalMs >= 100 && state.EffectIntervalMs <= 1000,
            "EffectIntervalMs within 100..1000");
    require(state.EffectKind >= kRunningFire && state.EffectKind <= kRandomEffect,
            "EffectKind within 0..2");
    require(state.AutomatonDisabled == (options.effects == EffectsChoice::kOff),
            "effects off disables the automaton");
}

}  // namespace
}  // namespace kalindor

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kalindor;
    if (size == 0) {
        return 0;
    }
    const LaunchProgram program =
        (data[0] & 1) != 0 ? LaunchProgram::kCliRun : LaunchProgram::kWindow;
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);

    checkCommandLine(rest, parseCommandLine(rest));

    std::vector<std::string> args;
    std::size_t start = 0;
    while (start <= rest.size()) {
        const std::size_t end = rest.find('\0', start);
        const std::size_t stop = end == std::string_view::npos ? rest.size() : end;
        args.emplace_back(rest.substr(start, stop - start));
        start = stop + 1;
    }
    if (rest.empty()) {
        args.clear();
    }
    checkLaunchOptions(args, program);
    return 0;
}
