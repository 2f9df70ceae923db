// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TestFiles.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <numbers>
#include <sstream>

namespace kalindor::test {

namespace fs = std::filesystem;

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeBytes(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(out.good()) << "cannot write " << path;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string silenceU8(double seconds) {
    return std::string(static_cast<std::size_t>(std::lround(32000 * seconds)), '\x80');
}

std::string toneU8(double hz, double seconds, int amplitude) {
    std::string samples = silenceU8(seconds);
    for (std::size_t n = 0; n < samples.size(); ++n) {
        samples[n] = static_cast<char>(
            128 + std::lround(amplitude * std::sin(2 * std::numbers::pi * hz * n / 32000)));
    }
    return samples;
}

void writeWav(const fs::path& path, const std::vector<float>& interleaved, int channels,
              int rateHz) {
    SF_INFO info{};
    info.samplerate = rateHz;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* handle = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(handle, nullptr) << sf_strerror(nullptr);
    sf_writef_float(handle, interleaved.data(),
                    static_cast<sf_count_t>(interleaved.size()) / channels);
    sf_close(handle);
}

TempFolder::TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "kalindor-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp: " << std::strerror(errno);
    }
    root_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

std::set<std::string> TempFolder::entries(const fs::path& folder) const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.empty() ? root_ : folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

CliResult runCli(const std::vector<std::string>& args, const fs::path& scratch) {
    const fs::path out = scratch / "cli-stdout.txt";
    const fs::path err = scratch / "cli-stderr.txt";
    std::string command = KALINDOR_CLI_PATH;
    for (const std::string& arg : args) {  // each in single quotes, a quote as '\''
        command += " '";
        for (const char c : arg) {
            command += c == '\'' ? std::string("'\\''") : std::string(1, c);
        }
        command += "'";
    }
    const int status = std::system((command + " >" + out.string() + " 2>" + err.string()).c_str());
    CliResult result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readBytes(out), readBytes(err)};
    fs::remove(out);
    fs::remove(err);
    return result;
}

}  // namespace kalindor::test
