// The file backend plays in real time, loops, and ends; kalindor-cli run takes a file as input.
#include "audio/FileSoundInput.h"

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <string>
#include <vector>

#include "AudioTestSupport.h"

namespace kalindor::audiotest {
namespace {

const std::string kCli = KALINDOR_CLI_PATH;

std::vector<std::uint8_t> numberedSamples(std::size_t count) {
    std::vector<std::uint8_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] = static_cast<std::uint8_t>(i % 251);
    }
    return samples;
}

TEST(FileInputTest, PlaysInRealTimeWithinTwoPercentAndEndsAfterTheLastSample) {
    FileSoundInput input(numberedSamples(2 * kSampleRate), false);
    ASSERT_TRUE(input.open());
    const std::int64_t start = monotonicMs();
    sleepMs(1500);
    const double elapsedS = static_cast<double>(monotonicMs() - start) / 1000.0;
    const double captured = static_cast<double>(input.samplesCaptured());
    EXPECT_NEAR(captured / elapsedS, kSampleRate, 0.02 * kSampleRate);
    EXPECT_FALSE(input.ended());

    // The newest snapshot is one unbroken run of the file.
    std::array<std::uint8_t, kBufferSamples> snapshot{};
    ASSERT_TRUE(input.takeBuffer(snapshot.data()));
    for (std::size_t i = 1; i < snapshot.size(); ++i) {
        ASSERT_EQ(snapshot[i], (snapshot[i - 1] + 1) % 251);
    }

    sleepMs(700);
    EXPECT_TRUE(input.ended());
    EXPECT_EQ(input.samplesCaptured(), 2u * kSampleRate);
    input.close();
    EXPECT_FALSE(input.isOpen());
}

TEST(FileInputTest, LoopingStartsAgainAtTheEndAndNeverEnds) {
    const std::size_t length = kSampleRate / 4;  // 250 ms
    FileSoundInput input(numberedSamples(length), true);
    ASSERT_TRUE(input.open());
    sleepMs(1000);
    EXPECT_FALSE(input.ended());
    EXPECT_GT(input.samplesCaptured(), 3 * length);
    EXPECT_LT(input.msSinceLastData(), 100);
    input.close();
}

// A take needs 256 samples played since the previous one, and says how long the rest takes.
TEST(FileInputTest, TakesOnlyFreshSnapshotsAndTellsWhenTheNextIsDue) {
    FileSoundInput input(numberedSamples(kSampleRate), true);
    ASSERT_TRUE(input.open());
    std::array<std::uint8_t, kBufferSamples> snapshot{};
    EXPECT_FALSE(input.takeBuffer(snapshot.data()));
    const int wait = input.msUntilBufferReady();
    EXPECT_GT(wait, 0);
    EXPECT_LE(wait, 8);

    sleepMs(30);
    EXPECT_EQ(input.msUntilBufferReady(), 0);
    ASSERT_TRUE(input.takeBuffer(snapshot.data()));
    const std::uint64_t firstEnd = input.samplesCaptured();
    EXPECT_FALSE(input.takeBuffer(snapshot.data()));
    EXPECT_GT(input.msUntilBufferReady(), 0);

    sleepMs(10);
    ASSERT_TRUE(input.takeBuffer(snapshot.data()));
    EXPECT_GE(input.samplesCaptured(), firstEnd + kBufferSamples);
}

// The newest snapshot of a looping file runs on from the last sample to the first.
TEST(FileInputTest, LoopingSnapshotsContinueAcrossTheEndOfTheFile) {
    const std::size_t length = 1000;  // 31.25 ms, so most snapshots cross the loop point
    const std::vector<std::uint8_t> samples = numberedSamples(length);
    FileSoundInput input(samples, true);
    ASSERT_TRUE(input.open());
    int crossings = 0;
    for (int round = 0; round < 20; ++round) {
        sleepMs(13);
        std::array<std::uint8_t, kBufferSamples> snapshot{};
        ASSERT_TRUE(input.takeBuffer(snapshot.data()));
        // Find where in the file the snapshot starts; every sample must follow from there.
        bool matched = false;
        for (std::size_t begin = 0; begin < length && !matched; ++begin) {
            matched = true;
            for (std::size_t i = 0; i < snapshot.size() && matched; ++i) {
                matched = snapshot[i] == samples[(begin + i) % length];
            }
            crossings += matched && begin + kBufferSamples > length ? 1 : 0;
        }
        ASSERT_TRUE(matched) << "round " << round;
    }
    EXPECT_GT(crossings, 0);
}

// Closing a file that has played to its end keeps it ended, so the caller can tell the end
// of the sound from a lost source after capture was stopped.
TEST(FileInputTest, ClosingAfterTheEndKeepsTheEndAndTheCount) {
    FileSoundInput input(numberedSamples(kSampleRate / 10), false);  // 100 ms
    ASSERT_TRUE(input.open());
    sleepMs(150);
    EXPECT_TRUE(input.ended());
    input.close();
    EXPECT_FALSE(input.isOpen());
    EXPECT_TRUE(input.ended());
    EXPECT_EQ(input.samplesCaptured(), std::uint64_t{kSampleRate / 10});
    std::array<std::uint8_t, kBufferSamples> snapshot{};
    EXPECT_FALSE(input.takeBuffer(snapshot.data()));

    ASSERT_TRUE(input.open());  // played again from the start
    EXPECT_FALSE(input.ended());
    EXPECT_LT(input.samplesCaptured(), std::uint64_t{kSampleRate / 10});
    input.close();
}

TEST(FileInputTest, RunWithAFileEndsCleanlyWhenTheFilePlayedAndLightsItsTone) {
    TempFolder folder;
    std::vector<float> sound;
    appendTone(sound, 1001.0, 0.5, 600, 32000);
    writeWav(folder.file("tone.wav"), sound, 32000);
    ChildProcess cli;
    const std::int64_t start = monotonicMs();
    cli.start({kCli, "run", "--device", "sim", "--effects", "off", "--input",
               folder.file("tone.wav"), "--for", "20"},
              folder.file("log"), folder.file("err"));
    EXPECT_EQ(cli.wait(10000), 0) << readFile(folder.file("err"));
    EXPECT_LT(monotonicMs() - start, 2000);
    bool lit = false;
    for (const PortWrite& write : readSimLog(folder.file("log"))) {
        lit = lit || write.pattern == 8;
    }
    EXPECT_TRUE(lit) << readFile(folder.file("log"));
}

TEST(FileInputTest, RunForLongerThanOneTimerIntervalKeepsRunningUntilTerminated) {
    TempFolder folder;
    std::vector<float> sound;
    appendTone(sound, 1001.0, 0.5, 300, 32000);
    writeWav(folder.file("tone.wav"), sound, 32000);
    ChildProcess cli;
    // About 29 days: more milliseconds than an int holds.
    cli.start({kCli, "run", "--device", "none", "--loop", "--input", folder.file("tone.wav"),
               "--for", "2500000"},
              "", folder.file("err"));
    EXPECT_EQ(cli.wait(1500), -1) << readFile(folder.file("err"));
    cli.terminate(SIGTERM);
}

TEST(FileInputTest, RunWithAMissingFileReportsTheOpenFailure) {
    TempFolder folder;
    ChildProcess cli;
    cli.start({kCli, "run", "--device", "none", "--input", folder.file("nothing.wav")}, "",
              folder.file("err"));
    EXPECT_EQ(cli.wait(5000), 1);
    const std::string err = readFile(folder.file("err"));
    EXPECT_NE(err.find("Невозможно открыть устройство ввода звука."), std::string::npos) << err;
    EXPECT_NE(err.find("nothing.wav"), std::string::npos) << err;
}

}  // namespace
}  // namespace kalindor::audiotest
