// kalindor-cli run against a real (private) PulseAudio server: sound played into the server's
// null sink is captured from its monitor and must light the right channels.
#include <gtest/gtest.h>

#include <array>
#include <regex>
#include <string>
#include <vector>

#include "AudioTestSupport.h"

namespace kalindor::audiotest {
namespace {

// Each tone lies 1 Hz above the bin of its channel's start-up point: channel 1 = point 4 =
// bin 2, channel 3 = point 16 = bin 8, channel 6 = point 49 = bin 24. A dropout of the stream
// on a loaded machine is a click that may light a stray channel for a moment, so the check is
// on the time lit: each burst's channel most of its second, the others little in all.
TEST(LiveCaptureTest, ToneBurstsLightTheirChannelsAndEveryTickGetsItsOwnBuffer) {
    PrivatePulseServer server;
    ASSERT_TRUE(server.error().empty()) << server.error();
    const test::TempFolder folder;
    writeTones(
        folder.path("bursts.wav"),
        {{0, 300}, {251, 1000}, {0, 1300}, {1001, 1000}, {0, 1300}, {3001, 1000}, {0, 1300}});
    ChildProcess cli;
    cli.start({KALINDOR_CLI_PATH, "run", "--device", "sim", "--effects", "off", "--stats"},
              folder.path("log"), folder.path("err"));
    for (const std::int64_t deadline = monotonicMs() + 5000;
         readSimLog(folder.path("log")).empty() && monotonicMs() < deadline;) {
        sleepMs(10);  // until capture runs: the start-up write of the empty pattern is logged
    }
    EXPECT_EQ(
        runCommand({"paplay", "-d", PrivatePulseServer::kSink, folder.path("bursts.wav")}, 30000),
        0);
    cli.terminate(SIGINT);
    const std::string err = test::readBytes(folder.path("err"));
    EXPECT_EQ(cli.wait(0), 0) << "SIGINT must end the run cleanly: " << err;

    const std::vector<PortWrite> log = readSimLog(folder.path("log"));
    std::array<std::int64_t, 8> litMs{};
    std::array<std::int64_t, 8> firstLitMs{};
    for (std::size_t i = 0; i + 1 < log.size(); ++i) {
        for (int ch = 0; ch < 8; ++ch) {
            if ((log[i].pattern >> ch) & 1) {
                firstLitMs[ch] = litMs[ch] == 0 ? log[i].ms : firstLitMs[ch];
                litMs[ch] += log[i + 1].ms - log[i].ms;
            }
        }
    }
    for (int ch = 0; ch < 8; ++ch) {
        const bool burst = ch == 1 || ch == 3 || ch == 6;
        EXPECT_TRUE(burst ? litMs[ch] >= 700 : litMs[ch] <= 300) << ch << ": " << litMs[ch];
    }
    EXPECT_LT(firstLitMs[1], firstLitMs[3]);
    EXPECT_LT(firstLitMs[3], firstLitMs[6]);

    // A loaded machine may delay ticks (they are never made up), but every tick either got
    // its own buffer or was skipped while one was outstanding, and no two buffers share a
    // sample.
    std::smatch stats;
    ASSERT_TRUE(std::regex_search(err, stats,
                                  std::regex("ticks=(\\d+) buffers=(\\d+) skipped-ticks=(\\d+) "
                                             "overlapping=(\\d+) signal-raises=(\\d+)")))
        << err;
    EXPECT_EQ(std::stol(stats[2]) + std::stol(stats[3]), std::stol(stats[1]));
    EXPECT_GE(std::stol(stats[2]), std::stol(stats[1]) / 2);
    EXPECT_EQ(std::stol(stats[4]), 0);
    EXPECT_GE(std::stol(stats[5]), 3);
}

}  // namespace
}  // namespace kalindor::audiotest
