// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kalindor::test {

std::string readBytes(const std::filesystem::path& path);  // "" when unreadable
void writeBytes(const std::filesystem::path& path, std::string_view bytes);
std::vector<std::string> linesOf(const std::string& text);  // split on '\n'
// Unsigned 8-bit samples at 32000 Hz, as a headerless .u8 file holds them: silence, or a sine
// of `hz` with `amplitude` (of 127) starting at phase 0.
std::string silenceU8(double seconds);
std::string toneU8(double hz, double seconds, int amplitude);
// Writes interleaved frames in -1..1 as a 16-bit PCM WAV file.
void writeWav(const std::filesystem::path& path, const std::vector<float>& interleaved,
              int channels, int rateHz);

// A fresh folder under the temporary directory, removed with everything in it on destruction.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& root() const { return root_; }
    std::string path(const std::string& name) const { return (root_ / name).string(); }
    // Names directly in `folder` (the root when empty).
    std::set<std::string> entries(const std::filesystem::path& folder = {}) const;

  private:
    std::filesystem::path root_;
};

struct CliResult {
    int status = -1;  // exit status; -1 when ended by a signal or not started
    std::string out;
    std::string err;
};

// Runs kalindor-cli with `args` (each passed as it is) and waits for it; stdout and stderr are
// captured through files in `scratch`.
CliResult runCli(const std::vector<std::string>& args, const std::filesystem::path& scratch);

}  // namespace kalindor::test
