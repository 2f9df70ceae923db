// SPDX-License-Identifier: GPL-3.0-or-later
// kalindor-cli run in real time with the simulated board, whose log shows what the lights did,
// capturing live from a private PulseAudio server; a source that goes away must end the run
// with a message. (A sound file played as if captured is tested with the other commands.)
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/PrivatePulse.h"
#include "support/TestFiles.h"

namespace kalindor {
namespace {

using namespace std::chrono_literals;
using test::readBytes;
using test::sh;

const std::string kCli = KALINDOR_CLI_PATH;

// Writes a 32000 Hz WAV of tones (frequency in Hz, 0 for silence; milliseconds), each with
// 10 ms raised-cosine edges so that no click lights other channels.
void writeTones(const std::string& path, const std::vector<std::pair<double, int>>& tones) {
    constexpr int kRate = 32000;
    constexpr int kEdge = kRate / 100;
    std::vector<float> samples;
    for (const auto& [frequencyHz, ms] : tones) {
        const int count = ms * kRate / 1000;
        for (int i = 0; i < count; ++i) {
            const int fromEdge = std::min(i, count - 1 - i);
            const double gain =
                fromEdge < kEdge ? 0.5 - 0.5 * std::cos(M_PI * fromEdge / kEdge) : 1.0;
            samples.push_back(
                static_cast<float>(0.5 * gain * std::sin(2.0 * M_PI * frequencyHz * i / kRate)));
        }
    }
    test::writeWav(path, samples, 1, kRate);
}

// The simulated board's log: for each write, its time and the light pattern its ports carry.
std::vector<std::pair<std::int64_t, int>> readSimLog(const std::string& path) {
    std::vector<std::pair<std::int64_t, int>> writes;
    std::istringstream lines(readBytes(path));
    std::int64_t ms = 0;
    for (int first, second, unused; lines >> ms >> first >> second >> unused >> unused;) {
        writes.emplace_back(ms, ((first >> 2) << 6) | second);
    }
    return writes;
}

// Milliseconds each channel was lit in a simulated board's log, until the last write or, when
// given, until endMs.
std::array<std::int64_t, 8> litMs(const std::vector<std::pair<std::int64_t, int>>& log,
                                  std::int64_t endMs = -1) {
    std::array<std::int64_t, 8> lit{};
    for (std::size_t i = 0; i < log.size(); ++i) {
        const std::int64_t until = i + 1 < log.size() ? log[i + 1].first : endMs;
        for (int ch = 0; ch < 8 && until > log[i].first; ++ch) {
            lit[ch] += ((log[i].second >> ch) & 1) * (until - log[i].first);
        }
    }
    return lit;
}

// Live capture from the private server's sink monitor. The burst lights channel 3 most of its
// second; a dropout of the stream on a loaded machine is a click that may light a stray channel
// for a moment, so the others only need to stay dark most of the time.
TEST(SoundInputs, LiveCaptureLightsTheToneUntilTheSourceIsLost) {
    const test::TempFolder folder;
    const std::string dir = folder.root().string() + "/";
    const test::PrivatePulse server(dir);
    ASSERT_TRUE(server.started()) << server.log;
    EXPECT_EQ(sh(kCli + " inputs >" + dir + "out"), 0);
    EXPECT_TRUE(readBytes(dir + "out").starts_with("kalindor_sink.monitor\t"));  // no header

    // Runs kalindor-cli run in the background; returns once capture runs (the start-up write
    // of the empty pattern is logged).
    const auto startRun = [&](const std::string& timeout, const std::string& options) {
        std::remove((dir + "log").c_str());  // the previous run's log must not count
        auto run = std::async(
            std::launch::async, sh,
            timeout + kCli + " run --device sim " + options + " >" + dir + "log 2>" + dir + "err");
        for (int i = 0; i < 500 && readSimLog(dir + "log").empty(); ++i) {
            std::this_thread::sleep_for(10ms);
        }
        return run;
    };
    writeTones(dir + "burst.wav", {{0, 300}, {1001, 1000}, {0, 1300}});
    auto run = startRun("timeout --preserve-status -s INT 8 ", "--effects off --stats");
    EXPECT_EQ(sh("timeout 20 paplay -d kalindor_sink " + dir + "burst.wav"), 0);
    EXPECT_EQ(run.get(), 0) << "SIGINT must end the run cleanly: " << readBytes(dir + "err");
    const auto log = readSimLog(dir + "log");
    const auto lit = litMs(log);
    for (int ch = 0; ch < 8; ++ch) {
        EXPECT_TRUE(ch == 3 ? lit[ch] >= 700 : lit[ch] <= 300) << ch << ": " << lit[ch];
    }
    // A loaded machine may delay ticks (they are never made up), but every tick either got
    // its own buffer or was skipped while one was outstanding, and no two buffers share a
    // sample.
    const std::string err = readBytes(dir + "err");
    std::smatch stats;
    ASSERT_TRUE(std::regex_search(
        err, stats,
        std::regex("ticks=(\\d+) buffers=(\\d+) skipped-ticks=(\\d+) overlapping=(\\d+)")))
        << err;
    EXPECT_EQ(std::stol(stats[2]) + std::stol(stats[3]), std::stol(stats[1]));
    EXPECT_GE(std::stol(stats[2]), std::stol(stats[1]) / 2);
    EXPECT_EQ(std::stol(stats[4]), 0);

    // The source going away ends a run promptly (a second without data; more time is allowed
    // for a loaded machine), with a message.
    run = startRun("timeout 20 ", "--for 60");
    EXPECT_EQ(sh("pactl unload-module module-null-sink"), 0);
    EXPECT_EQ(run.wait_for(4s), std::future_status::ready);
    EXPECT_EQ(run.get(), 1);
    EXPECT_EQ(readBytes(dir + "err").rfind("kalindor-cli: run: the sound input was lost", 0), 0u)
        << readBytes(dir + "err");
}

// Two programs play at once into the same sink, one tone each (channel 3 and channel 5);
// --input app:NAME hears only the one named (by application name or binary, case ignored),
// while the sink's monitor hears both. A name nobody plays under is a clear error.
TEST(SoundInputs, OneProgramIsCapturedAlone) {
    const test::TempFolder folder;
    const std::string dir = folder.root().string() + "/";
    const test::PrivatePulse server(dir);
    ASSERT_TRUE(server.started()) << server.log;
    writeTones(dir + "a.wav", {{1001, 20000}});
    writeTones(dir + "b.wav", {{2251, 20000}});
    for (const char* player : {"a", "b"}) {
        sh("timeout 20 paplay --client-name=Player_" + std::string(player) + " " + dir + player +
           ".wav 2>/dev/null & echo $! >>" + dir + "players");
    }
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(sh(kCli + " inputs >" + dir + "out"), 0);
    EXPECT_NE(readBytes(dir + "out").find("app:Player_b\tPlayer_b (pacat): "), std::string::npos)
        << readBytes(dir + "out");
    const struct {
        const char* input;
        bool channel3, channel5;
    } cases[] = {
        {"app:player_A", true, false}, {"app:Player_b", false, true}, {"monitor", true, true}};
    for (const auto& c : cases) {
        EXPECT_EQ(sh("timeout 10 " + kCli + " run --device sim --effects off --for 2 --input " +
                     c.input + " >" + dir + "log 2>" + dir + "err"),
                  0)
            << readBytes(dir + "err");
        const auto lit = litMs(readSimLog(dir + "log"), 2000);
        EXPECT_EQ(lit[3] >= 1200, c.channel3) << c.input << ": " << lit[3];
        EXPECT_EQ(lit[5] >= 1200, c.channel5) << c.input << ": " << lit[5];
    }
    EXPECT_EQ(sh("timeout 10 " + kCli + " run --device sim --input app:nobody >/dev/null 2>" + dir +
                 "err"),
              1);
    EXPECT_EQ(readBytes(dir + "err"),
              "kalindor-cli: run: cannot open the sound input 'app:nobody': PulseAudio: no program "
              "named 'nobody' is playing\n");
    sh("kill $(cat " + dir + "players) 2>/dev/null");
}

}  // namespace
}  // namespace kalindor
