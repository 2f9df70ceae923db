#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "audio/AudioFile.h"
#include "core/ControlUpdates.h"
#include "dsp/OfflineAnalysis.h"
#include "presets/PresetFile.h"
#include "support/FakeLightDevice.h"
#include "support/TestFiles.h"

namespace kalindor {
namespace {

using test::linesOf;

// A 44-byte FLAC whose STREAMINFO claims 2^31 - 2 frames at 125 Hz, 2 channels, 16 bits, then
// 8 bytes that are no audio frame (found by the audio-file fuzz target). The loader once
// reserved room for what the header claimed and analyze aborted with std::bad_alloc.
constexpr unsigned char kLyingFlac[44] = {
    0x66, 0x4c, 0x61, 0x43, 0x80, 0x00, 0x00, 0x22, 0x10, 0x00, 0x10, 0x00, 0x00, 0x05, 0x55,
    0x00, 0x05, 0x55, 0x00, 0x07, 0xd2, 0xf0, 0x7f, 0xff, 0xff, 0xfe, 0x5d, 0xe6, 0x08, 0x18,
    0x28, 0x78, 0xe1, 0xa2, 0x0e, 0x3c, 0x97, 0x00, 0x87, 0xd5, 0xe0, 0xea, 0x41, 0x04};

class AnalyzeTest : public ::testing::Test {
  protected:
    std::string path(const std::string& name) const { return folder_.path(name); }

    test::CliResult run(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), "analyze");
        return test::runCli(arguments, folder_.root());
    }

    // Mono 16-bit WAV of `seconds` holding a sum of cosines (frequency Hz, amplitude).
    std::string writeTones(const std::string& name, int rateHz, double seconds,
                           const std::vector<std::pair<double, double>>& tones) const {
        const std::string file = path(name);
        std::vector<float> frames(static_cast<std::size_t>(seconds * rateHz));
        for (std::size_t i = 0; i < frames.size(); ++i) {
            double x = 0.0;
            for (const auto& [hz, amplitude] : tones) {
                x += amplitude * std::cos(2.0 * M_PI * hz * static_cast<double>(i) / rateHz);
            }
            frames[i] = static_cast<float>(x);
        }
        test::writeWav(file, frames, 1, rateHz);
        return file;
    }

    std::string writeBytes(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        const std::string file = path(name);
        test::writeBytes(file, std::string(bytes.begin(), bytes.end()));
        return file;
    }

  private:
    test::TempFolder folder_;
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
    const test::CliResult result = run({wav});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const auto output = linesOf(result.out);
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
    const test::CliResult result = run({"--tick", "30", wav});
    ASSERT_EQ(result.status, 0) << result.err;

    const Expected<AudioFile> audio = loadAudioFile(wav);
    ASSERT_TRUE(audio.has_value()) << audio.error();
    SharedState state;
    applyStartupDefaults(state);
    NullView view;
    test::FakeLightDevice device;
    std::string expected;
    analyzeRecording(audio->samples, 30, state, view, device, [&](const SnapshotResult& r) {
        char line[kSnapshotLineMax];
        expected.append(line, formatSnapshotLine(r, line));
    });
    EXPECT_EQ(linesOf(result.out).size(), snapshotCount(audio->samples.size(), 30));
    EXPECT_EQ(result.out, expected);
}

TEST_F(AnalyzeTest, HeadlessSilenceGivesDarkLinesAndTheTickSetsTheSpacing) {
    const std::string raw = writeBytes("quiet.u8", std::vector<std::uint8_t>(32000, 128));
    test::CliResult result = run({raw});
    ASSERT_EQ(result.status, 0) << result.err;
    auto output = linesOf(result.out);
    ASSERT_EQ(output.size(), snapshotCount(32000, 50));
    EXPECT_EQ(output.back(), std::to_string((output.size() - 1) * 50) + " 0 0 0 0 0 0 0 0 0");

    result = run({"--tick=7", raw});
    ASSERT_EQ(result.status, 0) << result.err;
    output = linesOf(result.out);
    ASSERT_EQ(output.size(), snapshotCount(32000, 7));
    EXPECT_EQ(fields(output[3])[0], 21);

    // Shorter than one snapshot: nothing to analyse, nothing printed.
    const std::string tiny = writeBytes("tiny.raw", std::vector<std::uint8_t>(255, 128));
    result = run({tiny});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "");
}

TEST_F(AnalyzeTest, PresetScanPeriodIsTheDefaultTickAndBadPresetsFail) {
    SharedState state;
    applyStartupDefaults(state);
    setScanPeriod(state, 40);
    const std::string preset = path("slow.lcf");
    ASSERT_TRUE(savePreset(preset, state));
    const std::string raw = writeBytes("quiet.u8", std::vector<std::uint8_t>(16000, 128));

    test::CliResult result = run({"--preset", preset, raw});
    ASSERT_EQ(result.status, 0) << result.err;
    auto output = linesOf(result.out);
    ASSERT_EQ(output.size(), snapshotCount(16000, 40));
    EXPECT_EQ(fields(output[1])[0], 40);

    result = run({"--preset", preset, "--tick", "25", raw});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(fields(linesOf(result.out)[1])[0], 25);

    const std::string broken = writeBytes("broken.lcf", {'x', '\r', '\n'});
    result = run({"--preset", broken, raw});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("kalindor-cli: analyze: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find("line 1"), std::string::npos) << result.err;
    EXPECT_EQ(linesOf(result.err).size(), 1u);
}

// A missing file, a file no reader knows, and a header lying about its length: exit 1 and one
// stderr line naming the file, nothing on stdout.
TEST_F(AnalyzeTest, UnreadableAudioIsARuntimeErrorOnOneLine) {
    const std::string flac =
        writeBytes("lying.flac", {std::begin(kLyingFlac), std::end(kLyingFlac)});
    const Expected<AudioFile> loaded = loadAudioFile(flac);
    ASSERT_FALSE(loaded);
    EXPECT_NE(loaded.error().find(flac), std::string::npos) << loaded.error();
    for (const std::string& file : {path("missing.wav"), path("missing.u8"), flac}) {
        const test::CliResult result = run({file});
        EXPECT_EQ(result.status, 1) << file;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(linesOf(result.err).size(), 1u) << result.err;
        EXPECT_TRUE(result.err.starts_with("kalindor-cli: analyze: ")) << result.err;
        EXPECT_NE(result.err.find(file), std::string::npos) << result.err;
    }
}

TEST_F(AnalyzeTest, UsageErrorsAndHelp) {
    const std::string raw = writeBytes("quiet.u8", std::vector<std::uint8_t>(1000, 128));
    const std::vector<std::vector<std::string>> cases = {{},
                                                         {"--tick", "0", raw},
                                                         {"--tick", "abc", raw},
                                                         {"--tick", "-5", raw},
                                                         {"--tick"},
                                                         {"--loud", raw},
                                                         {raw, raw},
                                                         {"--preset"}};
    for (const auto& arguments : cases) {
        const test::CliResult result = run(arguments);
        EXPECT_EQ(result.status, 2) << arguments.size();
        EXPECT_EQ(result.out, "");
        EXPECT_TRUE(result.err.starts_with("kalindor-cli: analyze: ")) << result.err;
    }
    const test::CliResult help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: kalindor-cli analyze"));
    EXPECT_EQ(help.err, "");
}

}  // namespace
}  // namespace kalindor
