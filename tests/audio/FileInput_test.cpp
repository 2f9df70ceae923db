// The file backend plays in real time, loops, and ends; kalindor-cli run takes a file as input.
#include "audio/FileSoundInput.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "AudioTestSupport.h"
#include "core/MonotonicClock.h"
#include "support/TestFiles.h"

namespace kalindor::audiotest {
namespace {

using Snapshot = std::array<std::uint8_t, kBufferSamples>;

std::vector<std::uint8_t> numberedSamples(std::size_t count) {
    std::vector<std::uint8_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] = static_cast<std::uint8_t>(i % 251);
    }
    return samples;
}

// Where in the file the snapshot starts, when it is one unbroken run of it (wrapping round at
// the end); -1 otherwise.
int startInFile(const Snapshot& snapshot, const std::vector<std::uint8_t>& file) {
    for (std::size_t begin = 0; begin < file.size(); ++begin) {
        std::size_t i = 0;
        while (i < snapshot.size() && snapshot[i] == file[(begin + i) % file.size()]) {
            ++i;
        }
        if (i == snapshot.size()) {
            return static_cast<int>(begin);
        }
    }
    return -1;
}

// The clock decides what has played, so the counts hold however late the test wakes up.
TEST(FileInputTest, PlaysInRealTimeAndEndsAfterTheLastSample) {
    const std::vector<std::uint8_t> samples = numberedSamples(kSampleRate);  // 1 s
    FileSoundInput input(samples, false);
    Snapshot snapshot{};
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
    EXPECT_GE(startInFile(snapshot, samples), 0);
    EXPECT_FALSE(input.takeBuffer(snapshot.data()));  // taken samples never count again
    EXPECT_FALSE(input.ended());

    sleepMs(700);
    EXPECT_TRUE(input.ended());
    input.close();
    EXPECT_TRUE(input.ended());  // closing after the end keeps the end and the count
    EXPECT_EQ(input.samplesCaptured(), std::uint64_t{kSampleRate});
    EXPECT_FALSE(input.takeBuffer(snapshot.data()));
    ASSERT_FALSE(input.open().has_value());  // played again from the start
    EXPECT_FALSE(input.ended());
    EXPECT_LT(input.samplesCaptured(), std::uint64_t{kSampleRate});
}

TEST(FileInputTest, LoopingSnapshotsRunOnAcrossTheEndAndNeverEnd) {
    const std::vector<std::uint8_t> samples = numberedSamples(1000);  // 31.25 ms
    FileSoundInput input(samples, true);
    ASSERT_FALSE(input.open().has_value());
    int crossings = 0;
    for (int round = 0; round < 20; ++round) {
        sleepMs(13);
        Snapshot snapshot{};
        ASSERT_TRUE(input.takeBuffer(snapshot.data()));
        const int begin = startInFile(snapshot, samples);
        EXPECT_GE(begin, 0) << "round " << round;
        crossings += begin + kBufferSamples > 1000 ? 1 : 0;
    }
    EXPECT_GT(crossings, 0);
    EXPECT_FALSE(input.ended());
    EXPECT_EQ(input.msSinceLastData(), 0);
}

const std::string kCli = KALINDOR_CLI_PATH;

TEST(FileInputTest, RunPlaysTheFileAndEndsOrRunsForItsTime) {
    test::TempFolder folder;
    std::vector<float> sound;
    appendTone(sound, 1001.0, 0.5, 600);
    test::writeWav(folder.path("tone.wav"), sound, 1, 32000);
    ChildProcess cli;
    cli.start({kCli, "run", "--device", "sim", "--effects", "off", "--input",
               folder.path("tone.wav"), "--for", "20"},
              folder.path("log"), folder.path("err"));
    EXPECT_EQ(cli.wait(10000), 0) << test::readBytes(folder.path("err"));  // not 20 s
    bool lit = false;
    for (const PortWrite& write : readSimLog(folder.path("log"))) {
        lit = lit || write.pattern == 8;  // channel 3
    }
    EXPECT_TRUE(lit) << test::readBytes(folder.path("log"));

    // About 29 days: more milliseconds than an int holds, so the run must not end at once.
    cli.start({kCli, "run", "--device", "none", "--loop", "--input", folder.path("tone.wav"),
               "--for", "2500000"},
              "", folder.path("err"));
    EXPECT_EQ(cli.wait(1500), -1) << test::readBytes(folder.path("err"));
    cli.terminate(SIGTERM);

    cli.start({kCli, "run", "--device", "none", "--input", folder.path("nothing.wav")}, "",
              folder.path("err"));
    EXPECT_EQ(cli.wait(5000), 1);
    const std::string err = test::readBytes(folder.path("err"));
    EXPECT_NE(err.find("Невозможно открыть устройство ввода звука."), std::string::npos) << err;
    EXPECT_NE(err.find("nothing.wav"), std::string::npos) << err;
}

}  // namespace
}  // namespace kalindor::audiotest
