// A source that goes away mid-run, and no sound server at all: kalindor-cli run must end with
// a message, never hang.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "AudioTestSupport.h"

namespace kalindor::audiotest {
namespace {

const std::string kCli = KALINDOR_CLI_PATH;
constexpr const char* kOpenFailure = "Невозможно открыть устройство ввода звука.";

class SourceLossTest : public ::testing::Test {
  protected:
    void SetUp() override {
        server = std::make_unique<PrivatePulseServer>();
        ASSERT_TRUE(server->error().empty()) << server->error();
    }

    // Starts a run that would go on for a minute and waits until it captures.
    void startRun() {
        cli.start({kCli, "run", "--device", "sim", "--for", "60"}, folder.file("log"),
                  folder.file("err"));
        const std::int64_t deadline = monotonicMs() + 5000;
        while (readSimLog(folder.file("log")).empty()) {
            ASSERT_LT(monotonicMs(), deadline) << readFile(folder.file("err"));
            sleepMs(10);
        }
        sleepMs(500);
        ASSERT_TRUE(cli.running());
    }

    // Waits for the run's end; returns the milliseconds it took.
    std::int64_t expectEndWithMessage() {
        const std::int64_t from = monotonicMs();
        const int status = cli.wait(5000);
        const std::int64_t took = monotonicMs() - from;
        EXPECT_EQ(status, 1) << readFile(folder.file("err"));
        const std::string err = readFile(folder.file("err"));
        EXPECT_EQ(err.rfind("kalindor-cli: run: the sound input was lost", 0), 0u) << err;
        return took;
    }

    std::unique_ptr<PrivatePulseServer> server;
    TempFolder folder;
    ChildProcess cli;
};

TEST_F(SourceLossTest, UnloadingTheSourceEndsTheRunWithinTwoSeconds) {
    startRun();
    ASSERT_EQ(runCommand({"pactl", "unload-module", "module-null-sink"}), 0);
    EXPECT_LT(expectEndWithMessage(), 2000);
}

TEST_F(SourceLossTest, TheServerDyingEndsTheRunWithinTwoSeconds) {
    startRun();
    server->kill();
    EXPECT_LT(expectEndWithMessage(), 2000);
}

TEST_F(SourceLossTest, AnUnknownSourceNameIsAnOpenFailure) {
    cli.start({kCli, "run", "--device", "none", "--input", "no_such_source", "--for", "5"}, "",
              folder.file("err"));
    EXPECT_EQ(cli.wait(5000), 1);
    const std::string err = readFile(folder.file("err"));
    EXPECT_NE(err.find(kOpenFailure), std::string::npos) << err;
    EXPECT_NE(err.find("no_such_source"), std::string::npos) << err;
}

TEST_F(SourceLossTest, InputsListsTheMonitorAsSuch) {
    std::string out;
    ASSERT_EQ(runCommand({kCli, "inputs"}, 5000, &out), 0);
    EXPECT_NE(out.find(std::string(PrivatePulseServer::kSink) + ".monitor\t"), std::string::npos)
        << out;
    EXPECT_NE(out.find("[monitor]"), std::string::npos) << out;
}

// With no server at all the run falls back to PortAudio (ALSA): it either captures from a
// sound card or fails to open with the message, in bounded time either way.
TEST(NoServerTest, RunFallsBackOrReportsTheOpenFailureWithoutHanging) {
    TempFolder folder;
    ::setenv("PULSE_SERVER", ("unix:" + folder.file("nothing-here")).c_str(), 1);
    ChildProcess cli;
    cli.start({kCli, "run", "--device", "none", "--for", "1"}, "", folder.file("err"));
    const int status = cli.wait(10000);
    const std::string err = readFile(folder.file("err"));
    ASSERT_NE(status, -1) << "run hung without a sound server";
    if (status == 1) {
        EXPECT_NE(err.find(kOpenFailure), std::string::npos) << err;
        EXPECT_NE(err.find("PortAudio"), std::string::npos) << err;
        // One line, none of ALSA's chatter.
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    } else {
        EXPECT_EQ(status, 0) << err;
    }

    std::string out;
    const int listed = runCommand({kCli, "inputs"}, 10000, &out);
    EXPECT_TRUE(listed == 0 || listed == 1);
    if (listed == 0) {
        EXPECT_EQ(out.rfind("# PortAudio", 0), 0u) << out;
    }
}

}  // namespace
}  // namespace kalindor::audiotest
