// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "core/BuildFeatures.h"
#include "support/TestFiles.h"

namespace kalindor {
namespace {

// Eight snapshots, each of one tick's `stride` samples (the last one only 256, so that it ends
// exactly at the end of the recording). Snapshot k holds the cosines of the rows {k, bin,
// amplitude in sample units, phase}, each starting at its phase: phase 0 lands on the bin's
// real part (point 2 * bin), pi/2 on its imaginary part (point 2 * bin + 1); bin 128 is point
// 1. Snapshots 1 and 5 are silence.
std::string recording(std::size_t stride) {
    constexpr double kSine = M_PI / 2;
    const double tones[][4] = {{0, 8, 100, 0},     {0, 12, 40, kSine},  {0, 128, 20, 0},
                               {2, 2, 3, 0},       {2, 128, 127, 0},    {3, 18, 1, 0},
                               {3, 24, 60, kSine}, {3, 32, 9, 0},       {4, 8, 6, 0},
                               {4, 4, 50, kSine},  {4, 127, 30, kSine}, {6, 8, 127, 0},
                               {6, 32, 120, 0},    {7, 128, 2, 0},      {7, 12, 5, kSine}};
    std::string bytes;
    for (int k = 0; k < 8; ++k) {
        for (std::size_t n = 0; n < (k == 7 ? 256 : stride); ++n) {
            double x = 128.0;
            for (const auto& [row, bin, amplitude, phase] : tones) {
                if (row == k) {
                    x += amplitude *
                         std::cos(2.0 * M_PI * bin * static_cast<double>(n % 256) / 256.0 - phase);
                }
            }
            bytes += static_cast<char>(
                static_cast<std::uint8_t>(std::clamp(std::floor(x + 0.5), 0.0, 255.0)));
        }
    }
    return bytes;
}

class CommandsTest : public ::testing::Test {
  protected:
    test::CliResult run(const std::vector<std::string>& args) const {
        return test::runCli(args, folder.root());
    }
    std::string file(const std::string& name, const std::string& bytes) const {
        test::writeBytes(folder.path(name), bytes);
        return folder.path(name);
    }
    test::TempFolder folder;
};

// The expected lines come from analyze_reference.py beside this file, which works them out
// independently (a direct DFT in double precision, then every later step with float rounding)
// and checks that none hinges on float rounding inside the transform.
TEST_F(CommandsTest, AnalyzeMatchesTheWorkedReference) {
    // Rows {preset (empty: start-up settings), options, stride, output}.
    using Row = std::tuple<std::vector<int>, std::vector<std::string>, std::size_t, std::string>;
    const Row cases[] = {
        // Start-up settings: logarithmic Y, polygon hold falling 5 per snapshot, 50 ms tick.
        {{},
         {},
         1600,
         "0 25 212 0 134 236 212 0 0 127\n50 25 207 0 129 231 207 0 0 122\n"
         "100 25 255 136 124 226 202 57 0 117\n150 217 250 131 119 221 197 120 224 176\n"
         "200 221 245 126 219 216 192 115 219 171\n250 221 240 121 214 211 187 110 214 166\n"
         "300 221 235 116 209 235 182 105 209 233\n350 221 230 111 204 230 177 100 204 228\n"},
        // Linear Y, histogram, decay 10, the preset's 30 ms tick; channels 0 and 1 share point
        // 16, so channel 1 halves channel 0's doubled level limited to 255 (127.5, even 128);
        // channel 7 on point 255; the noise filter does nothing without AGC.
        {{30, 10, 0,  3, 21, 16, 5,  36, 16, 10,  40, 4, 1, 1, 9,    5,  26,
          36, 7,  35, 1, 4,  30, 49, 2,  11, 255, 50, 0, 1, 0, 5000, 888},
         {},
         960,
         "0 1 255 128 0 12 0 41 0 0\n30 1 255 128 0 0 0 35 0 0\n60 33 255 128 0 0 0 153 0 0\n"
         "90 33 255 128 0 0 3 147 121 0\n120 41 255 128 0 255 0 141 110 165\n"
         "150 41 255 128 0 255 0 135 99 135\n180 41 255 128 0 255 0 129 88 105\n"
         "210 41 255 128 0 246 0 123 77 75\n"},
        // AGC updating every 400 point steps (first mid-snapshot 1), noise filter at 51, decay
        // 3, channels 3 and 5 sharing point 16; --tick overrides the preset's 40 ms.
        {{40, 3, 1,  5,  36, 1,  4,  31, 4,  8,  36, 9, 5, 31, 16,  6,  25,
          25, 5, 31, 16, 9,  38, 49, 3,  31, 64, 80, 1, 1, 1,  400, 888},
         {"--tick=30"},
         960,
         "0 0 0 0 0 0 0 0 0 0\n30 0 0 0 0 0 0 0 0 0\n60 56 96 103 48 174 193 174 0 91\n"
         "90 120 95 101 47 172 193 172 47 123\n120 124 87 91 77 157 178 157 46 121\n"
         "150 124 88 91 77 158 183 158 47 122\n180 124 87 89 76 168 183 168 46 167\n"
         "210 124 87 88 76 168 185 168 46 167\n"},
    };
    for (const auto& [preset, options, stride, expected] : cases) {
        SCOPED_TRACE(stride);
        std::vector<std::string> args = {"analyze"};
        args.insert(args.end(), options.begin(), options.end());
        std::string text;
        for (const int value : preset) {
            text += ' ';
            text += std::to_string(value);
            text += " \r\n";
        }
        if (!preset.empty()) {
            args.insert(args.end(), {"--preset", file("p.lcf", text)});
        }
        args.push_back(file("sound.u8", recording(stride)));
        const test::CliResult result = run(args);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out, expected);
    }
}

// The start-up settings themselves are what the first analysis reference runs on; `preset
// show` gives each line with its meaning and range (channels 1 and 8 stand for the others).
TEST_F(CommandsTest, PresetDefaultsWritesTheStartUpPresetAndShowExplainsIt) {
    EXPECT_EQ(run({"preset", "defaults", folder.path("d.lcf")}).status, 0);
    const auto shown = test::linesOf(run({"preset", "show", folder.path("d.lcf")}).out);
    ASSERT_EQ(shown.size(), 33u);
    std::string ends;
    for (const std::size_t line : {0, 1, 2, 3, 4, 5, 24, 25, 26, 27, 28, 29, 30, 31, 32}) {
        ends += shown[line] + "\n";
    }
    EXPECT_EQ(
        ends,
        "1  50  scan period (ms)\n2  5  decay speed (1..10)\n"
        "3  0  automatic level control (1 = on)\n4  5  channel 1 threshold position (1..10)\n"
        "5  31  channel 1 gain position (1..40)\n6  1  channel 1 frequency step (x 62.5 Hz)\n"
        "25  5  channel 8 threshold position (1..10)\n26  31  channel 8 gain position (1..40)\n"
        "27  64  channel 8 frequency step (x 62.5 Hz)\n28  100  noise filter position (100 = off)\n"
        "29  1  graph type (1 = polygon, 0 = histogram)\n"
        "30  1  X scale (1 = logarithmic, 0 = linear)\n"
        "31  1  Y scale (1 = logarithmic, 0 = linear)\n"
        "32  5000  AGC speed (points between updates)\n33  888  legacy port address\n");
}

// kalindor-cli run with a recording played in real time, the simulated board (its log on
// stdout shows what the lights did, each write the light delay late) and, where the build has
// OLA, a universe whose daemon does not answer (reported once while the run goes on): a 1001 Hz
// burst lights channel 3 (start-up point 16); a second after it the automaton takes over with
// running fire (100 ms steps); the run ends with the recording (3.6 s), well before --for.
TEST_F(CommandsTest, RunPlaysARecordingThenTheAutomatonAndEndsWithIt) {
    const std::string recording =
        file("tone.u8", test::toneU8(1001, 0.6, 100) + test::silenceU8(3.0));
    std::vector<std::string> args = {"--light-delay", "300",     "--effect-speed", "1",
                                     "--input",       recording, "--for",          "8"};
    if (kBuiltWithOla) {
        args.insert(args.begin(), {"--device", "ola:7", "--ola-port", "1"});
    }
    args.insert(args.begin(), {"run", "--device", "sim"});
    const test::CliResult result = run(args);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, kBuiltWithOla ? "kalindor-cli: run: OLA 7: not connected\n" : "");
    const auto writes = test::linesOf(result.out);
    ASSERT_GE(writes.size(), 2u) << result.out;
    EXPECT_GE(std::stoi(writes[0]), 300) << result.out;
    EXPECT_EQ(writes[0].substr(writes[0].find(' ')), " 0 0 0 3");  // the port set-up
    EXPECT_EQ(writes[1].substr(writes[1].find(' ')), " 0 8 0 3");  // the tone on channel 3
    std::vector<int> positions;  // of the single lit channel, from the burst on
    std::istringstream log(result.out);
    int lastMs = 0;
    for (int first, second, third, used; log >> lastMs >> first >> second >> third >> used;) {
        const int pattern = ((first >> 2) << 6) | second;
        if ((pattern == 8 || !positions.empty()) && std::has_single_bit(unsigned(pattern))) {
            positions.push_back(std::countr_zero(unsigned(pattern)));
        }
    }
    EXPECT_LT(lastMs, 6000);  // the recording's end ended the run, not --for
    ASSERT_GE(positions.size(), 9u) << result.out;
    for (std::size_t i = positions.size() - 7; i < positions.size(); ++i) {
        EXPECT_LE(std::abs(positions[i] - positions[i - 1]), 1) << i;
    }
    // About 29 days: more milliseconds than an int holds, so only timeout(1) ends that run.
    EXPECT_EQ(WEXITSTATUS(
                  std::system(("timeout 1.5 " + std::string(KALINDOR_CLI_PATH) +
                               " run --device none --loop --input " + recording + " --for 2500000")
                                  .c_str())),
              124);
    // Output that cannot be written (a full disk, a reader gone) ends the run at once, failed.
    const std::string sim = "timeout 3 " + std::string(KALINDOR_CLI_PATH) +
                            " run --device sim --input " + recording + " 2>" + folder.path("err");
    EXPECT_EQ(WEXITSTATUS(std::system((sim + " >/dev/full").c_str())), 1);
    EXPECT_EQ(test::readBytes(folder.path("err")),
              "kalindor-cli: run: cannot write the output: No space left on device\n");
    std::system(
        ("{ " + sim + "; echo $? >" + folder.path("status") + "; } | head -c1 >/dev/null").c_str());
    EXPECT_EQ(test::readBytes(folder.path("status")), "1\n");
}

// A USB board that is not there is reported once, as the other outputs are, and the run goes
// on; none is named when no board was chosen. (Its coming back: OutputWatch's test.)
TEST_F(CommandsTest, RunReportsAMissingBoardOnceLikeTheOtherOutputs) {
    const std::string recording =
        file("burst.u8", test::toneU8(1001, 0.6, 100) + test::silenceU8(2.2));
    for (const char* device : {"usb", "none"}) {
        SCOPED_TRACE(device);
        const test::CliResult result = run({"run", "--device", device, "--input", recording});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err,
                  device == std::string("usb") ? "kalindor-cli: run: USB: not connected\n" : "");
    }
}

// Failures print nothing on stdout and one stderr line: 1 for a file that cannot be read or
// written or a GPIO chip that cannot be opened, 2 for a usage error (a GPIO output in a build
// without it).
TEST_F(CommandsTest, FailuresExitWithOneLineNamingTheCause) {
    // A FLAC header claiming 2^31 - 2 frames over 8 bytes of no audio: must fail, not abort.
    const unsigned char lyingFlac[] = {
        0x66, 0x4c, 0x61, 0x43, 0x80, 0x00, 0x00, 0x22, 0x10, 0x00, 0x10, 0x00, 0x00, 0x05, 0x55,
        0x00, 0x05, 0x55, 0x00, 0x07, 0xd2, 0xf0, 0x7f, 0xff, 0xff, 0xfe, 0x5d, 0xe6, 0x08, 0x18,
        0x28, 0x78, 0xe1, 0xa2, 0x0e, 0x3c, 0x97, 0x00, 0x87, 0xd5, 0xe0, 0xea, 0x41, 0x04};
    const std::string flac =
        file("lying.flac", std::string(std::begin(lyingFlac), std::end(lyingFlac)));
    const std::string raw = file("quiet.u8", std::string(1000, '\x80'));
    const std::string bad = file("bad.lcf", " 50\n 5\n 1\n 5\n 31\n 300\n");
    const std::string broken = file("broken.lcf", "x\r\n");
    const std::string nothing = folder.path("nothing.wav");
    std::filesystem::create_directory(folder.path("dir.u8"));  // opens, but cannot be read
    const std::string fifo = folder.path("fifo.lcf");  // as a device would be: never replaced
    ::mkfifo(fifo.c_str(), 0600);
    // Rows {arguments, exit status, text within the message}.
    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        // Every command tells a missing file and a folder in the same words.
        {{"analyze", nothing}, 1, "analyze: cannot open '" + nothing + "': No such file or"},
        {{"analyze", flac}, 1, "analyze: cannot read '" + flac + "'"},
        {{"analyze", folder.path("dir.u8")}, 1, "analyze: '" + folder.path("dir.u8") + "' is a"},
        {{"analyze", folder.root()}, 1, "analyze: '" + folder.root().string() + "' is a folder"},
        {{"preset", "show", nothing}, 1, "preset: cannot open '" + nothing + "': No such file"},
        {{"preset", "show", folder.path("dir.u8")},
         1,
         "preset: '" + folder.path("dir.u8") + "' is"},
        {{"analyze", "--preset", broken, raw}, 1, "analyze: cannot read preset '" + broken},
        {{"analyze"}, 2, "analyze: missing AUDIO"},
        {{"analyze", "--tick", "0", raw}, 2, "analyze: --tick"},
        {{"analyze", "--loud", raw}, 2, "analyze: unknown option '--loud'"},
        {{"analyze", raw, raw}, 2, "analyze: unexpected argument"},
        {{"analyze", "--picture", folder.path("no/p.png"), raw},
         1,
         "cannot write '" + folder.path("no/p.png")},
        {{"analyze", "--picture", folder.root(), raw}, 1, "' is a folder"},
        {{"analyze", "--picture", folder.path("p.png"), file("tiny.u8", "\x80")},
         1,
         "shorter than one snapshot"},
        {{"analyze", "--picture", folder.path("p.png"), flac},
         1,
         "analyze: cannot read '" + flac + "'"},
        {{"preset", "show", bad}, 1, "preset: cannot read '" + bad + "': line 6: 300 is out"},
        {{"preset", "defaults", fifo}, 1, "preset: cannot save '" + fifo + "': it is a FIFO"},
        {{"preset"}, 2, "preset: missing subcommand"},
        {{"preset", "show", "a.lcf", "b.lcf"}, 2, "preset: show: unexpected argument 'b.lcf'"},
        {{"preset", "show", "--verbose"}, 2, "preset: show: unknown option"},
        // A path, or a name with a sound file's extension, is a file even when missing, not
        // the name of a sound source.
        {{"run", "--device", "none", "--input", nothing},
         1,
         "run: cannot open the sound input '" + nothing + "': cannot open '" + nothing +
             "': No such file or directory"},
        {{"run", "--device", "none", "--input", "missing.wav"}, 1, "'missing.wav': No such file"},
        {{"run", "--device", "sim", "--device", "gpio:kalindor-no-chip:0,1,2,3,4,5,6,7", "--input",
          raw},
         kBuiltWithGpio ? 1 : 2,
         kBuiltWithGpio ? "run: GPIO kalindor-no-chip: cannot open the chip"
                        : "run: --device gpio:kalindor-no-chip:0,1,2,3,4,5,6,7: this kalindor-cli "
                          "was built without GPIO output"},
    };
    for (const auto& [args, status, detail] : cases) {
        SCOPED_TRACE(args.back());
        const test::CliResult result = run(args);
        EXPECT_EQ(result.status, status);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err.rfind("kalindor-cli: ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find(detail), std::string::npos) << result.err;
        EXPECT_EQ(test::linesOf(result.err).size(), 1u);
    }
    EXPECT_EQ(run({"analyze", file("tiny.raw", std::string(255, '\x80'))}).out, "");
    // Output that cannot be written: the same words from every command.
    run({"preset", "defaults", folder.path("d.lcf")});
    for (const std::string& command : {"preset show " + folder.path("d.lcf"), "analyze " + raw}) {
        const std::string err = folder.path("err");
        EXPECT_EQ(WEXITSTATUS(std::system(
                      (KALINDOR_CLI_PATH " " + command + " >/dev/full 2>" + err).c_str())),
                  1);
        EXPECT_EQ(test::readBytes(err), "kalindor-cli: " + command.substr(0, command.find(' ')) +
                                            ": cannot write the output: No space left on device\n");
    }
    for (const char* command : {"analyze", "preset"}) {
        const test::CliResult help = run({command, "--help"});
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out.rfind(std::string("Usage: kalindor-cli ") + command, 0), 0u);
    }
    const test::CliResult version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(std::regex_match(version.out, std::regex("kalindor-cli [0-9]+(\\.[0-9]+)+\n")))
        << version.out;
}

}  // namespace
}  // namespace kalindor
