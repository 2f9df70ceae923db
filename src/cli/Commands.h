// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <span>
#include <string>

namespace kalindor::cli {

// Exit statuses of kalindor-cli.
inline constexpr int kExitOk = 0;
inline constexpr int kExitRuntimeError = 1;
inline constexpr int kExitUsage = 2;

// Each command receives the arguments after its own name and returns the exit status.
// Results go to stdout; errors to stderr as "kalindor-cli: <command>: <detail>".
int runAnalyze(std::span<const std::string> args);  // AnalyzeCommand.cpp
int runPreset(std::span<const std::string> args);   // PresetCommand.cpp
int runLive(std::span<const std::string> args);     // RunCommand.cpp
int runInputs(std::span<const std::string> args);   // InputsCommand.cpp

// Flushes stdout. When what a command wrote there did not all arrive, the error in the one form
// every command gives it, "cannot write the output: <reason>"; set errno to 0 before the
// command's first write so that the reason is the failed write's. (main.cpp)
std::optional<std::string> outputFailure();

}  // namespace kalindor::cli
