// A source that goes away mid-run, and no sound server at all: kalindor-cli run must end with
// a message, never hang.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "AudioTestSupport.h"
#include "core/MonotonicClock.h"
#include "support/TestFiles.h"

namespace kalindor::audiotest {
namespace {

const std::string kCli = KALINDOR_CLI_PATH;
constexpr const char* kOpenFailure = "Невозможно открыть устройство ввода звука.";

TEST(SourceLossTest, ALostSourceEndsTheRunWithinTwoSecondsWithAMessage) {
    for (const bool killServer : {false, true}) {
        SCOPED_TRACE(killServer ? "server killed" : "sink unloaded");
        PrivatePulseServer server;
        ASSERT_TRUE(server.error().empty()) << server.error();
        test::TempFolder folder;
        ChildProcess cli;
        cli.start({kCli, "run", "--device", "sim", "--for", "60"}, folder.path("log"),
                  folder.path("err"));
        for (const std::int64_t deadline = monotonicMs() + 5000;
             readSimLog(folder.path("log")).empty() && monotonicMs() < deadline;) {
            sleepMs(10);
        }
        sleepMs(500);
        ASSERT_TRUE(cli.running()) << test::readBytes(folder.path("err"));
        if (killServer) {
            server.kill();
        } else {
            ASSERT_EQ(runCommand({"pactl", "unload-module", "module-null-sink"}), 0);
        }
        const std::int64_t from = monotonicMs();
        EXPECT_EQ(cli.wait(5000), 1);
        EXPECT_LT(monotonicMs() - from, 2000);
        EXPECT_EQ(test::readBytes(folder.path("err"))
                      .rfind("kalindor-cli: run: the sound input was lost", 0),
                  0u)
            << test::readBytes(folder.path("err"));
    }
}

TEST(SourceLossTest, AnUnknownSourceFailsToOpenAndInputsListsTheMonitor) {
    PrivatePulseServer server;
    ASSERT_TRUE(server.error().empty()) << server.error();
    test::TempFolder folder;
    ChildProcess cli;
    cli.start({kCli, "run", "--device", "none", "--input", "no_such_source", "--for", "5"}, "",
              folder.path("err"));
    EXPECT_EQ(cli.wait(5000), 1);
    const std::string err = test::readBytes(folder.path("err"));
    EXPECT_NE(err.find(kOpenFailure), std::string::npos) << err;
    EXPECT_NE(err.find("no_such_source"), std::string::npos) << err;
    std::string out;
    ASSERT_EQ(runCommand({kCli, "inputs"}, 5000, &out), 0);
    EXPECT_NE(out.find(std::string(PrivatePulseServer::kSink) + ".monitor\t"), std::string::npos)
        << out;
    EXPECT_NE(out.find("[monitor]"), std::string::npos) << out;
}

// With no server at all the run falls back to PortAudio (ALSA): it either captures from a
// sound card or fails to open with the message on one line, in bounded time either way.
TEST(SourceLossTest, WithoutAServerRunFallsBackOrReportsTheOpenFailure) {
    test::TempFolder folder;
    ::setenv("PULSE_SERVER", ("unix:" + folder.path("nothing-here")).c_str(), 1);
    ChildProcess cli;
    cli.start({kCli, "run", "--device", "none", "--for", "1"}, "", folder.path("err"));
    const int status = cli.wait(10000);
    const std::string err = test::readBytes(folder.path("err"));
    EXPECT_TRUE(status == 0 || (status == 1 && err.find(kOpenFailure) != std::string::npos &&
                                err.find("PortAudio") != std::string::npos &&
                                std::count(err.begin(), err.end(), '\n') == 1))
        << status << ": " << err;
    std::string out;
    const int listed = runCommand({kCli, "inputs"}, 10000, &out);
    EXPECT_TRUE(listed == 1 || (listed == 0 && out.rfind("# PortAudio", 0) == 0)) << out;
}

}  // namespace
}  // namespace kalindor::audiotest
