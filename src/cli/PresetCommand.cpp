// SPDX-License-Identifier: GPL-3.0-or-later
#include <cerrno>
#include <cstdio>
#include <string>

#include "cli/Commands.h"
#include "core/ControlUpdates.h"
#include "presets/PresetFile.h"

namespace kalindor::cli {

namespace {

constexpr const char* kPresetUsage =
    "Usage: kalindor-cli preset show FILE\n"
    "       kalindor-cli preset defaults FILE\n"
    "\n"
    "  show FILE      Print the 33 values of a preset, one per line:\n"
    "                 <line>  <value>  <meaning>. Values are shown as a load applies them\n"
    "                 (fractions rounded, switches as 1 or 0).\n"
    "  defaults FILE  Write the start-up settings as a preset, replacing FILE.\n"
    "\n"
    "Exit status: 0 success, 1 the file cannot be read or written, 2 usage error.\n";

int usageError(const std::string& detail) {
    std::fprintf(stderr, "kalindor-cli: preset: %s (see 'kalindor-cli preset --help')\n",
                 detail.c_str());
    return kExitUsage;
}

int runtimeError(const std::string& detail) {
    std::fprintf(stderr, "kalindor-cli: preset: %s\n", detail.c_str());
    return kExitRuntimeError;
}

int showPreset(const std::string& path) {
    const Expected<PresetValues, PresetError> values = readPresetFile(path);
    if (!values) {
        // Errors tied to a line do not name the file; the others already do.
        const std::string prefix = values.error().line > 0 ? "cannot read '" + path + "': " : "";
        return runtimeError(prefix + values.error().describe());
    }
    const auto lines = presetLines(*values);
    errno = 0;
    for (int line = 1; line <= kPresetLineCount; ++line) {
        std::printf("%d  %d  %s\n", line, lines[line - 1], presetLineMeaning(line).c_str());
    }
    if (const std::optional<std::string> failure = outputFailure()) {
        return runtimeError(*failure);
    }
    return kExitOk;
}

int writeDefaults(const std::string& path) {
    SharedState state;
    applyStartupDefaults(state);
    if (const auto saved = savePreset(path, state); !saved) {
        return runtimeError(saved.error().describe());
    }
    return kExitOk;
}

}  // namespace

int runPreset(std::span<const std::string> args) {
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::fputs(kPresetUsage, stdout);
            return kExitOk;
        }
    }
    if (args.empty()) {
        return usageError("missing subcommand (show or defaults)");
    }
    const std::string& action = args[0];
    if (action != "show" && action != "defaults") {
        return usageError("unknown subcommand '" + action + "'");
    }
    if (args.size() < 2) {
        return usageError(action + ": missing FILE");
    }
    if (args.size() > 2) {
        return usageError(action + ": unexpected argument '" + args[2] + "'");
    }
    if (args[1].starts_with("--")) {
        return usageError(action + ": unknown option '" + args[1] + "'");
    }
    return action == "show" ? showPreset(args[1]) : writeDefaults(args[1]);
}

}  // namespace kalindor::cli
