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

#include "support/TestFiles.h"

namespace kalindor {
namespace {

using namespace std::chrono_literals;
using test::readBytes;

const std::string kCli = KALINDOR_CLI_PATH;

// Runs a shell command and returns its exit status. Whatever could hang runs under timeout(1),
// so no test waits for ever or leaves a process behind for long, not even a crashed one.
int sh(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

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

// A private PulseAudio server with one null sink (32000 Hz mono) as default output and its
// monitor as default input; its socket and state live in the folder, and every client started
// from here uses it. A silent low-latency stream keeps the sink rendering in real time (an
// idle null sink renders about 2 s ahead, so its monitor would deliver nothing meanwhile); the
// server exits 3 s after its last client. The burst lights channel 3 most of its second; a
// dropout of the stream on a loaded machine is a click that may light a stray channel for a
// moment, so the others only need to stay dark most of the time.
TEST(SoundInputs, LiveCaptureLightsTheToneUntilTheSourceIsLost) {
    const test::TempFolder folder;
    const std::string dir = folder.root().string() + "/";
    std::ofstream(dir + "server.pa") << "load-module module-native-protocol-unix socket=" << dir
                                     << "native auth-anonymous=1\nload-module module-null-sink "
                                        "sink_name=kalindor_sink rate=32000 channels=1\n"
                                        "set-default-sink kalindor_sink\n"
                                        "set-default-source kalindor_sink.monitor\n";
    // As root the server needs its own runtime path (it would otherwise insist on the system's).
    for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "PULSE_STATE_PATH"}) {
        ::setenv(name, dir.c_str(), 1);
    }
    ::setenv("PULSE_RUNTIME_PATH", (dir + "runtime").c_str(), 1);
    ::setenv("PULSE_SERVER", ("unix:" + dir + "native").c_str(), 1);
    ::setenv("PULSE_COOKIE", (dir + "cookie").c_str(), 1);
    sh("timeout 120 pulseaudio -n -F " + dir + "server.pa --daemonize=no --exit-idle-time=3 " +
       "--log-target=stderr 2>" + dir + "server.log &");
    for (int i = 0; i < 100 && sh("pactl info >/dev/null 2>&1") != 0; ++i) {
        std::this_thread::sleep_for(100ms);
    }
    ASSERT_EQ(sh("pactl info >/dev/null"), 0) << readBytes(dir + "server.log");
    sh("timeout 60 pacat --playback --latency-msec=20 -d kalindor_sink /dev/zero 2>/dev/null &");
    std::this_thread::sleep_for(2500ms);
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
    std::array<std::int64_t, 8> litMs{};
    for (std::size_t i = 0; i + 1 < log.size(); ++i) {
        for (int ch = 0; ch < 8; ++ch) {
            litMs[ch] += ((log[i].second >> ch) & 1) * (log[i + 1].first - log[i].first);
        }
    }
    for (int ch = 0; ch < 8; ++ch) {
        EXPECT_TRUE(ch == 3 ? litMs[ch] >= 700 : litMs[ch] <= 300) << ch << ": " << litMs[ch];
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
    sh("pactl exit");
}

}  // namespace
}  // namespace kalindor
