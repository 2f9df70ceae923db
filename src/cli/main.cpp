// SPDX-License-Identifier: GPL-3.0-or-later
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "launch/LaunchOptions.h"

namespace {

constexpr const char* kUsage =
    "Usage: kalindor-cli COMMAND [OPTIONS] [ARGS]\n"
    "\n"
    "Kalindor's headless controller: the same analysis and light decisions as the window,\n"
    "without a display.\n"
    "\n"
    "Commands:\n"
    "  analyze [--preset FILE] [--tick MS] AUDIO\n"
    "        Analyse an audio file offline; one line per snapshot on stdout:\n"
    "        <ms> <light pattern> <bar1> ... <bar8>\n"
    "  preset show FILE      Print the 33 values of a preset with their meanings.\n"
    "  preset defaults FILE  Write the start-up settings as a preset.\n"
    "  run [OPTIONS] [PRESET]\n"
    "        Capture live sound and drive the lights until SIGINT/SIGTERM (or --for);\n"
    "        with an audio file as input, until the file has played (unless --loop).\n"
    "  inputs                List the sound sources that can be captured.\n"
    "\n"
    "Run 'kalindor-cli COMMAND --help' for the options of a command, 'kalindor-cli --version'\n"
    "for the version.\n"
    "Exit status: 0 success, 1 runtime error, 2 usage error.\n";

}  // namespace

std::optional<std::string> kalindor::cli::outputFailure() {
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) {
        return std::nullopt;
    }
    return std::string("cannot write the output: ") +
           (errno != 0 ? std::strerror(errno) : "write error");
}

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fputs(kUsage, stderr);
        return kalindor::cli::kExitUsage;
    }
    const std::string command = args.front();
    const std::span<const std::string> rest(args.data() + 1, args.size() - 1);
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return kalindor::cli::kExitOk;
    }
    if (command == "--version") {
        std::fputs(kalindor::versionText("kalindor-cli").c_str(), stdout);
        return kalindor::cli::kExitOk;
    }
    if (command == "analyze") {
        return kalindor::cli::runAnalyze(rest);
    }
    if (command == "preset") {
        return kalindor::cli::runPreset(rest);
    }
    if (command == "run") {
        return kalindor::cli::runLive(rest);
    }
    if (command == "inputs") {
        return kalindor::cli::runInputs(rest);
    }
    std::fprintf(stderr, "kalindor-cli: unknown command '%s'\n", command.c_str());
    std::fputs(kUsage, stderr);
    return kalindor::cli::kExitUsage;
}
