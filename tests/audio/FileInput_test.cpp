// The file backend plays in real time, loops, and ends; kalindor-cli run takes a file as input.
#include "audio/FileSoundInput.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "AudioTestSupport.h"

namespace kalindor::audiotest {
namespace {

using Snapshot = std::array<std::uint8_t, kBufferSamples>;

// Samples numbered modulo 251 (prime), so that a snapshot shows where in the file it starts.
std::vector<std::uint8_t> numbered(std::size_t count) {
    std::vector<std::uint8_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] = static_cast<std::uint8_t>(i % 251);
    }
    return samples;
}

// True when the snapshot is one unbroken run of the numbered file, wrapping round at its end;
// `crossed` tells whether it did wrap.
bool unbroken(const Snapshot& snapshot, std::size_t fileSize, bool& crossed) {
    crossed = false;
    for (std::size_t i = 1; i < snapshot.size(); ++i) {
        const bool wrapped = snapshot[i] == 0 && snapshot[i - 1] == (fileSize - 1) % 251;
        crossed = crossed || (wrapped && snapshot[i - 1] != 250);
        if (!wrapped && snapshot[i] != (snapshot[i - 1] + 1) % 251) {
            return false;
        }
    }
    return true;
}

// What has played is worked out from the clock, so the counts hold however late the test
// wakes up: between the times before and after the question.
TEST(FileInputTest, PlaysInRealTimeEndsAfterTheLastSampleOrLoops) {
    FileSoundInput input(numbered(kSampleRate), false);  // 1 s
    Snapshot snapshot{};
    bool crossed = false;
    const std::int64_t start = monotonicMs();
    ASSERT_FALSE(input.open().has_value());
    const std::int64_t opened = monotonicMs();
    EXPECT_FALSE(input.takeBuffer(snapshot.data()));
    EXPECT_GT(input.msUntilBufferReady(), 0);
    EXPECT_LE(input.msUntilBufferReady(), 8);
    sleepMs(500);
    const std::int64_t before = monotonicMs();
    const std::uint64_t played = input.samplesCaptured();
    const std::int64_t after = monotonicMs();
    EXPECT_GE(played + 32, static_cast<std::uint64_t>(before - opened) * 32);
    EXPECT_LE(played, static_cast<std::uint64_t>(after - start + 1) * 32);
    EXPECT_EQ(input.msUntilBufferReady(), 0);
    ASSERT_TRUE(input.takeBuffer(snapshot.data()));
    EXPECT_TRUE(unbroken(snapshot, kSampleRate, crossed));
    EXPECT_FALSE(input.takeBuffer(snapshot.data()));  // taken samples never count again
    EXPECT_FALSE(input.ended());
    sleepMs(700);
    EXPECT_TRUE(input.ended());
    input.close();
    EXPECT_TRUE(input.ended());  // closing after the end keeps the end and the count
    EXPECT_EQ(input.samplesCaptured(), std::uint64_t{kSampleRate});
    ASSERT_FALSE(input.open().has_value());  // played again from the start
    EXPECT_FALSE(input.ended());

    FileSoundInput looping(numbered(1000), true);  // 31.25 ms
    ASSERT_FALSE(looping.open().has_value());
    int crossings = 0;
    for (int round = 0; round < 20; ++round) {
        sleepMs(13);
        ASSERT_TRUE(looping.takeBuffer(snapshot.data()));
        EXPECT_TRUE(unbroken(snapshot, 1000, crossed)) << round;
        crossings += crossed ? 1 : 0;
    }
    EXPECT_GT(crossings, 0);
    EXPECT_FALSE(looping.ended());
}

// A 1001 Hz burst lights channel 3 (start-up point 16); a second later the automaton takes
// over with running fire (100 ms steps), and the run ends when the file has played.
TEST(FileInputTest, RunPlaysTheFileThenTheAutomatonAndEndsWithTheFile) {
    const std::string cli = KALINDOR_CLI_PATH;
    const test::TempFolder folder;
    writeTones(folder.path("tone.wav"), {{1001.0, 600}, {0.0, 3000}});
    ChildProcess run;
    run.start({cli, "run", "--device", "sim", "--effect-speed", "1", "--input",
               folder.path("tone.wav"), "--for", "20"},
              folder.path("log"), folder.path("err"));
    EXPECT_EQ(run.wait(10000), 0) << test::readBytes(folder.path("err"));
    const std::vector<PortWrite> log = readSimLog(folder.path("log"));
    const auto burst =
        std::find_if(log.begin(), log.end(), [](const PortWrite& w) { return w.pattern == 8; });
    ASSERT_NE(burst, log.end()) << test::readBytes(folder.path("log"));
    std::vector<int> positions;  // of the single lit channel after the burst
    for (auto it = burst + 1; it != log.end(); ++it) {
        if (it->pattern != 0 && (it->pattern & (it->pattern - 1)) == 0) {
            positions.push_back(__builtin_ctz(static_cast<unsigned>(it->pattern)));
        }
    }
    EXPECT_GE(positions.size(), 8u);
    for (std::size_t i = 1; i < positions.size(); ++i) {
        EXPECT_LE(std::abs(positions[i] - positions[i - 1]), 1) << i;
    }

    // About 29 days: more milliseconds than an int holds, so the run must not end at once.
    run.start({cli, "run", "--device", "none", "--loop", "--input", folder.path("tone.wav"),
               "--for", "2500000"},
              "", folder.path("err"));
    EXPECT_EQ(run.wait(1500), -1) << test::readBytes(folder.path("err"));
    run.terminate(SIGTERM);

    run.start({cli, "run", "--device", "none", "--input", folder.path("nothing.wav")}, "",
              folder.path("err"));
    EXPECT_EQ(run.wait(5000), 1);
    const std::string err = test::readBytes(folder.path("err"));
    EXPECT_NE(err.find("Невозможно открыть устройство ввода звука."), std::string::npos) << err;
    EXPECT_NE(err.find("nothing.wav"), std::string::npos) << err;
}

}  // namespace
}  // namespace kalindor::audiotest
