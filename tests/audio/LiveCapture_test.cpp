// kalindor-cli run against a real (private) PulseAudio server: sound played into the server's
// null sink is captured from its monitor and must light the right channels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "AudioTestSupport.h"

namespace kalindor::audiotest {
namespace {

constexpr int kRateHz = 32000;
const std::string kCli = KALINDOR_CLI_PATH;

PrivatePulseServer* server = nullptr;

class LiveCaptureTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { server = new PrivatePulseServer(); }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(server->error().empty()) << server->error(); }

    // Starts kalindor-cli run with the sim device; returns once capture runs (the start-up
    // write of the empty pattern is in the log).
    void startRun(const std::vector<std::string>& options) {
        std::vector<std::string> argv = {kCli, "run", "--device", "sim"};
        argv.insert(argv.end(), options.begin(), options.end());
        cli.start(argv, folder.file("log"), folder.file("err"));
        const std::int64_t deadline = monotonicMs() + 5000;
        while (readSimLog(folder.file("log")).empty()) {
            ASSERT_LT(monotonicMs(), deadline) << readFile(folder.file("err"));
            ASSERT_TRUE(cli.running()) << readFile(folder.file("err"));
            sleepMs(10);
        }
    }

    void play(const std::string& wav) {
        ASSERT_EQ(runCommand({"paplay", "-d", PrivatePulseServer::kSink, wav}, 30000), 0);
    }

    // Patterns with the time each stood, in order (consecutive repeats merged).
    static std::vector<std::pair<int, std::int64_t>> patternSpans(const std::vector<PortWrite>& log,
                                                                  std::int64_t endMs) {
        std::vector<std::pair<int, std::int64_t>> spans;
        for (std::size_t i = 0; i < log.size(); ++i) {
            const std::int64_t until = i + 1 < log.size() ? log[i + 1].ms : endMs;
            if (!spans.empty() && spans.back().first == log[i].pattern) {
                spans.back().second += until - log[i].ms;
            } else {
                spans.emplace_back(log[i].pattern, until - log[i].ms);
            }
        }
        return spans;
    }

    TempFolder folder;
    ChildProcess cli;
};

// Each tone lies 1 Hz above the bin of its channel's point (see the default frequencies:
// channel 1 = point 4 = bin 2, channel 3 = point 16 = bin 8, channel 6 = point 49 = bin 24).
TEST_F(LiveCaptureTest, ToneBurstsLightExactlyTheirChannelsWhileTheyPlay) {
    std::vector<float> sound;
    const std::vector<std::pair<double, int>> bursts = {{251.0, 1}, {1001.0, 3}, {3001.0, 6}};
    appendTone(sound, 0, 0, 300, kRateHz);
    for (const auto& [frequency, channel] : bursts) {
        appendTone(sound, frequency, 0.5, 1000, kRateHz);
        appendTone(sound, 0, 0, 1300, kRateHz);
    }
    writeWav(folder.file("bursts.wav"), sound, kRateHz);

    startRun({"--effects", "off"});
    play(folder.file("bursts.wav"));
    cli.terminate(SIGINT);
    EXPECT_EQ(cli.wait(0), 0) << "SIGINT must end the run cleanly: "
                              << readFile(folder.file("err"));

    const std::vector<PortWrite> log = readSimLog(folder.file("log"));
    // A dropout of the stream on a loaded machine is a click that may light a stray channel
    // for a buffer or two: such short spans are dropped, and what is left must be the bursts.
    constexpr std::int64_t kStrayMs = 120;
    std::vector<std::pair<int, std::int64_t>> spans;
    for (const auto& [pattern, ms] : patternSpans(log, log.back().ms)) {
        if (pattern != 0 && ms <= kStrayMs) {
            continue;
        }
        if (!spans.empty() && spans.back().first == pattern) {
            spans.back().second += ms;
        } else {
            spans.emplace_back(pattern, ms);
        }
    }
    std::vector<int> lit;
    for (const auto& [pattern, ms] : spans) {
        if (pattern != 0) {
            // A 1 s burst keeps its channel, and only its channel, lit most of that time.
            EXPECT_GE(ms, 700) << "pattern " << pattern;
            lit.push_back(pattern);
        }
    }
    EXPECT_EQ(lit, (std::vector<int>{2, 8, 64}));
}

TEST_F(LiveCaptureTest, TheAutomatonTakesOverAfterTheMusicStops) {
    std::vector<float> sound;
    appendTone(sound, 1001.0, 0.5, 800, kRateHz);
    writeWav(folder.file("burst.wav"), sound, kRateHz);

    startRun({"--no-signal", "1", "--effects", "fire", "--effect-speed", "1", "--for", "6"});
    play(folder.file("burst.wav"));
    ASSERT_EQ(cli.wait(10000), 0) << readFile(folder.file("err"));

    const std::vector<PortWrite> log = readSimLog(folder.file("log"));
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

TEST_F(LiveCaptureTest, MusicChangesTheLightsWithNoBufferLostOrRepeated) {
    const std::string music = "/usr/share/games/chromium-bsu/wav/music_game.wav";
    ASSERT_EQ(runCommand({"sox", music, "-r", "32000", "-c", "1", "-b", "16",
                          folder.file("music.wav"), "repeat", "1"}),
              0);

    ChildProcess player;
    player.start({"paplay", "-d", PrivatePulseServer::kSink, folder.file("music.wav")});
    sleepMs(200);
    startRun({"--effects", "off", "--for", "10", "--stats"});
    ASSERT_EQ(cli.wait(15000), 0) << readFile(folder.file("err"));
    player.terminate(SIGTERM);

    const std::vector<PortWrite> log = readSimLog(folder.file("log"));
    std::map<int, int> patterns;
    for (const PortWrite& write : log) {
        ++patterns[write.pattern];
    }
    EXPECT_GE(patterns.size(), 4u) << "the lights hardly changed";
    EXPECT_GE(log.size(), 20u);

    const std::string err = readFile(folder.file("err"));
    std::smatch stats;
    ASSERT_TRUE(std::regex_search(
        err, stats,
        std::regex("ticks=(\\d+) buffers=(\\d+) skipped-ticks=(\\d+) overlapping=(\\d+) "
                   "signal-raises=(\\d+) elapsed-ms=(\\d+) scan-ms=(\\d+)")))
        << err;
    const long ticks = std::stol(stats[1]);
    const long buffers = std::stol(stats[2]);
    const long skipped = std::stol(stats[3]);
    const long overlapping = std::stol(stats[4]);
    const long raises = std::stol(stats[5]);
    const long elapsedMs = std::stol(stats[6]);
    const long scanMs = std::stol(stats[7]);
    // Every tick either got its own buffer or was skipped while one was outstanding; a loaded
    // machine may delay ticks (they are never made up), but a live source keeps every tick
    // supplied, and no two buffers share a sample.
    EXPECT_EQ(scanMs, 50);
    EXPECT_EQ(buffers + skipped, ticks) << err;
    EXPECT_GE(ticks, elapsedMs / scanMs * 9 / 10) << err;
    EXPECT_LE(skipped, ticks / 50) << err;
    EXPECT_EQ(overlapping, 0);
    EXPECT_GE(raises, 1) << "SignalSeen was never raised";
}

}  // namespace
}  // namespace kalindor::audiotest
