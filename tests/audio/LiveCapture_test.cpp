// kalindor-cli run against a real (private) PulseAudio server: sound played into the server's
// null sink is captured from its monitor and must light the right channels.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "AudioTestSupport.h"
#include "core/MonotonicClock.h"
#include "support/TestFiles.h"

namespace kalindor::audiotest {
namespace {

const std::string kCli = KALINDOR_CLI_PATH;

class LiveCaptureTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { server = new PrivatePulseServer(); }
    static void TearDownTestSuite() { delete server; }
    void SetUp() override { ASSERT_TRUE(server->error().empty()) << server->error(); }

    // Starts kalindor-cli run with the sim device and plays `sound` once capture runs (the
    // start-up write of the empty pattern is in the log); returns the log when the run ended.
    std::vector<PortWrite> runAndPlay(const std::vector<std::string>& options,
                                      const std::vector<float>& sound) {
        test::writeWav(folder.path("sound.wav"), sound, 1, 32000);
        std::vector<std::string> argv = {kCli, "run", "--device", "sim"};
        argv.insert(argv.end(), options.begin(), options.end());
        cli.start(argv, folder.path("log"), folder.path("err"));
        for (const std::int64_t deadline = monotonicMs() + 5000;
             readSimLog(folder.path("log")).empty() && cli.running(); sleepMs(10)) {
            EXPECT_LT(monotonicMs(), deadline) << err();
        }
        EXPECT_EQ(runCommand({"paplay", "-d", PrivatePulseServer::kSink, folder.path("sound.wav")},
                             30000),
                  0);
        EXPECT_EQ(cli.wait(10000), 0) << err();
        return readSimLog(folder.path("log"));
    }
    std::string err() const { return test::readBytes(folder.path("err")); }

    static PrivatePulseServer* server;
    test::TempFolder folder;
    ChildProcess cli;
};

PrivatePulseServer* LiveCaptureTest::server = nullptr;

// Each tone lies 1 Hz above the bin of its channel's start-up point: channel 1 = point 4 =
// bin 2, channel 3 = point 16 = bin 8, channel 6 = point 49 = bin 24. A dropout of the stream
// on a loaded machine is a click that may light a stray channel for a moment, so the check is
// on time lit: each burst's channel most of its second, the others little in all.
TEST_F(LiveCaptureTest, ToneBurstsLightTheirChannelsAndEveryTickGetsItsOwnBuffer) {
    std::vector<float> sound;
    appendTone(sound, 0, 0, 300);
    for (const double frequency : {251.0, 1001.0, 3001.0}) {
        appendTone(sound, frequency, 0.5, 1000);
        appendTone(sound, 0, 0, 1300);
    }
    const auto log = runAndPlay({"--effects", "off", "--for", "8", "--stats"}, sound);
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
        SCOPED_TRACE(ch);
        if (ch == 1 || ch == 3 || ch == 6) {
            EXPECT_GE(litMs[ch], 700);
        } else {
            EXPECT_LE(litMs[ch], 300);
        }
    }
    EXPECT_LT(firstLitMs[1], firstLitMs[3]);
    EXPECT_LT(firstLitMs[3], firstLitMs[6]);

    // A loaded machine may delay ticks (they are never made up), but every tick either got
    // its own buffer or was skipped while one was outstanding, and no two buffers share a
    // sample.
    std::smatch stats;
    const std::string text = err();
    ASSERT_TRUE(std::regex_search(text, stats,
                                  std::regex("ticks=(\\d+) buffers=(\\d+) skipped-ticks=(\\d+) "
                                             "overlapping=(\\d+) signal-raises=(\\d+)")))
        << text;
    EXPECT_EQ(std::stol(stats[2]) + std::stol(stats[3]), std::stol(stats[1]));
    EXPECT_GE(std::stol(stats[2]), std::stol(stats[1]) / 2);
    EXPECT_EQ(std::stol(stats[4]), 0);
    EXPECT_GE(std::stol(stats[5]), 3);
}

TEST_F(LiveCaptureTest, TheAutomatonTakesOverAfterTheMusicStops) {
    std::vector<float> sound;
    appendTone(sound, 1001.0, 0.5, 800);
    const auto log = runAndPlay(
        {"--no-signal", "1", "--effects", "fire", "--effect-speed", "1", "--for", "6"}, sound);
    const auto burst =
        std::find_if(log.begin(), log.end(), [](const PortWrite& w) { return w.pattern == 8; });
    ASSERT_NE(burst, log.end()) << "the burst never lit channel 3";
    // After the burst: running fire, one lit channel moving by one each 100 ms step.
    std::vector<int> positions;
    for (auto it = burst + 1; it != log.end(); ++it) {
        if (it->pattern != 0 && (it->pattern & (it->pattern - 1)) == 0) {
            positions.push_back(__builtin_ctz(static_cast<unsigned>(it->pattern)));
        }
    }
    ASSERT_GE(positions.size(), 10u);
    for (std::size_t i = positions.size() - 10; i + 1 < positions.size(); ++i) {
        EXPECT_LE(std::abs(positions[i + 1] - positions[i]), 1) << "step " << i;
    }
}

}  // namespace
}  // namespace kalindor::audiotest
