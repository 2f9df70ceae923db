#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "engine/AudioFile.h"
#include "engine/ControlUpdates.h"
#include "engine/OfflineAnalysis.h"
#include "presets/PresetFile.h"
#include "support/FakeLightDevice.h"

namespace kalindor {
namespace {

namespace fs = std::filesystem;

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string slurp(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

class AnalyzeTest : public ::testing::Test {
  protected:
    AnalyzeTest() {
        dir_ = fs::temp_directory_path() / ("kalindor-analyze-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    ~AnalyzeTest() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    RunResult run(const std::string& arguments) const {
        const fs::path out = dir_ / "stdout";
        const fs::path err = dir_ / "stderr";
        const std::string command = std::string("'") + KALINDOR_CLI_PATH + "' analyze " +
                                    arguments + " >'" + out.string() + "' 2>'" + err.string() + "'";
        const int status = std::system(command.c_str());
        RunResult result;
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = slurp(out);
        result.err = slurp(err);
        return result;
    }

    // Mono 16-bit WAV of `seconds` holding a sum of cosines (frequency Hz, amplitude).
    std::string writeTones(const std::string& name, int rateHz, double seconds,
                           const std::vector<std::pair<double, double>>& tones) const {
        const std::string file = path(name);
        SF_INFO info{};
        info.samplerate = rateHz;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        std::vector<float> frames(static_cast<std::size_t>(seconds * rateHz));
        for (std::size_t i = 0; i < frames.size(); ++i) {
            double x = 0.0;
            for (const auto& [hz, amplitude] : tones) {
                x += amplitude * std::cos(2.0 * M_PI * hz * static_cast<double>(i) / rateHz);
            }
            frames[i] = static_cast<float>(x);
        }
        SNDFILE* handle = sf_open(file.c_str(), SFM_WRITE, &info);
        EXPECT_NE(handle, nullptr) << sf_strerror(nullptr);
        if (handle != nullptr) {
            sf_writef_float(handle, frames.data(), static_cast<sf_count_t>(frames.size()));
            sf_close(handle);
        }
        return file;
    }

    std::string writeBytes(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        const std::string file = path(name);
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return file;
    }

  private:
    fs::path dir_;
};

// Splits a result line into its ten numbers; fails on any other shape.
std::vector<int> fields(const std::string& line) {
    static const std::regex shape(R"(^\d+ \d+( \d+){8}$)");
    EXPECT_TRUE(std::regex_match(line, shape)) << "'" << line << "'";
    std::vector<int> numbers;
    std::istringstream in(line);
    for (int value = 0; in >> value;) {
        numbers.push_back(value);
    }
    return numbers;
}

std::size_t snapshotCount(std::size_t samples, int tickMs) {
    return samples < 256 ? 0 : (samples - 256) / (static_cast<std::size_t>(tickMs) * 32) + 1;
}

TEST_F(AnalyzeTest, ToneOnAChannelFrequencyLightsThatChannelEverySnapshot) {
    // 1000 Hz is point 16, channel 3's start-up frequency; 2001 Hz sits 1 Hz off bin 16.
    // At a 50 ms tick the 1000 Hz cosine starts every snapshot at its peak.
    const std::string wav = writeTones("tones.wav", 32000, 2.0, {{1000.0, 0.5}, {2001.0, 0.3}});
    const RunResult result = run("'" + wav + "'");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const auto output = lines(result.out);
    ASSERT_EQ(output.size(), snapshotCount(64000, 50));
    for (std::size_t k = 0; k < output.size(); ++k) {
        const std::vector<int> numbers = fields(output[k]);
        ASSERT_EQ(numbers.size(), 10u);
        EXPECT_EQ(numbers[0], static_cast<int>(k) * 50);
        EXPECT_EQ(numbers[1] & (1 << 3), 1 << 3) << output[k];
        EXPECT_GE(numbers[2 + 3], 141) << output[k];  // bar 3 above 0.55 * 255
    }
}

TEST_F(AnalyzeTest, OutputMatchesTheInProcessPipelineOnTheSameSamples) {
    const std::string wav =
        writeTones("mix.wav", 44100, 1.5, {{440.0, 0.3}, {3100.0, 0.2}, {61.0, 0.4}});
    const RunResult result = run("--tick 30 '" + wav + "'");
    ASSERT_EQ(result.exitCode, 0) << result.err;

    const AudioFile audio = loadAudioFile(wav);
    ASSERT_TRUE(audio.ok()) << audio.error;
    SharedState state;
    applyStartupDefaults(state);
    NullView view;
    test::FakeLightDevice device;
    std::string expected;
    analyzeRecording(audio.samples, 30, state, view, device, [&](const SnapshotResult& r) {
        char line[kSnapshotLineMax];
        expected.append(line, formatSnapshotLine(r, line));
    });
    EXPECT_EQ(lines(result.out).size(), snapshotCount(audio.samples.size(), 30));
    EXPECT_EQ(result.out, expected);
}

TEST_F(AnalyzeTest, HeadlessSilenceGivesDarkLinesAndTheTickSetsTheSpacing) {
    const std::string raw = writeBytes("quiet.u8", std::vector<std::uint8_t>(32000, 128));
    RunResult result = run("'" + raw + "'");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    auto output = lines(result.out);
    ASSERT_EQ(output.size(), snapshotCount(32000, 50));
    EXPECT_EQ(output.back(), std::to_string((output.size() - 1) * 50) + " 0 0 0 0 0 0 0 0 0");

    result = run("--tick=7 '" + raw + "'");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    output = lines(result.out);
    ASSERT_EQ(output.size(), snapshotCount(32000, 7));
    EXPECT_EQ(fields(output[3])[0], 21);

    // Shorter than one snapshot: nothing to analyse, nothing printed.
    const std::string tiny = writeBytes("tiny.raw", std::vector<std::uint8_t>(255, 128));
    result = run("'" + tiny + "'");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "");
}

TEST_F(AnalyzeTest, PresetScanPeriodIsTheDefaultTickAndBadPresetsFail) {
    SharedState state;
    applyStartupDefaults(state);
    setScanPeriod(state, 40);
    const std::string preset = path("slow.lcf");
    ASSERT_FALSE(savePreset(preset, state).has_value());
    const std::string raw = writeBytes("quiet.u8", std::vector<std::uint8_t>(16000, 128));

    RunResult result = run("--preset '" + preset + "' '" + raw + "'");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    auto output = lines(result.out);
    ASSERT_EQ(output.size(), snapshotCount(16000, 40));
    EXPECT_EQ(fields(output[1])[0], 40);

    result = run("--preset '" + preset + "' --tick 25 '" + raw + "'");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(fields(lines(result.out)[1])[0], 25);

    const std::string broken = writeBytes("broken.lcf", {'x', '\r', '\n'});
    result = run("--preset '" + broken + "' '" + raw + "'");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("kalindor-cli: analyze: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find("line 1"), std::string::npos) << result.err;
    EXPECT_EQ(lines(result.err).size(), 1u);
}

TEST_F(AnalyzeTest, UnreadableAudioIsARuntimeErrorOnOneLine) {
    for (const std::string& name : {std::string("missing.wav"), std::string("missing.u8")}) {
        const RunResult result = run("'" + path(name) + "'");
        EXPECT_EQ(result.exitCode, 1) << name;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(lines(result.err).size(), 1u) << result.err;
        EXPECT_EQ(result.err.rfind("kalindor-cli: analyze: cannot open " + path(name), 0), 0u)
            << result.err;
    }
}

TEST_F(AnalyzeTest, UsageErrorsAndHelp) {
    const std::string raw = writeBytes("quiet.u8", std::vector<std::uint8_t>(1000, 128));
    for (const std::string& arguments :
         {std::string(""), "--tick 0 '" + raw + "'", "--tick abc '" + raw + "'",
          "--tick -5 '" + raw + "'", std::string("--tick"), "--loud '" + raw + "'",
          "'" + raw + "' '" + raw + "'", std::string("--preset")}) {
        const RunResult result = run(arguments);
        EXPECT_EQ(result.exitCode, 2) << arguments;
        EXPECT_EQ(result.out, "") << arguments;
        EXPECT_EQ(result.err.rfind("kalindor-cli: analyze: ", 0), 0u) << result.err;
    }
    const RunResult help = run("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("Usage: kalindor-cli analyze", 0), 0u);
    EXPECT_EQ(help.err, "");
}

}  // namespace
}  // namespace kalindor
