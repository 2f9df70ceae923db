// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

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

}  // namespace kalindor::cli
