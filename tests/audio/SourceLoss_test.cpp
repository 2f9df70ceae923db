// A source that goes away mid-run, an unknown one, and no sound server at all: kalindor-cli
// run must end with a message, never hang.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "AudioTestSupport.h"

namespace kalindor::audiotest {
namespace {

constexpr const char* kOpenFailure = "Невозможно открыть устройство ввода звука.";

TEST(SourceLossTest, ALostSourceEndsTheRunWithinTwoSecondsWithAMessage) {
    for (const bool killServer : {false, true}) {
        SCOPED_TRACE(killServer ? "server killed" : "sink unloaded");
        PrivatePulseServer server;
        ASSERT_TRUE(server.error().empty()) << server.error();
        const test::TempFolder folder;
        ChildProcess cli;
        cli.start({KALINDOR_CLI_PATH, "run", "--device", "sim", "--for", "60"}, folder.path("log"),
                  folder.path("err"));
        sleepMs(1500);
        ASSERT_FALSE(readSimLog(folder.path("log")).empty()) << test::readBytes(folder.path("err"));
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
                  0u);
    }
}

TEST(SourceLossTest, AnUnknownSourceFailsToOpenAndInputsListsTheMonitor) {
    PrivatePulseServer server;
    ASSERT_TRUE(server.error().empty()) << server.error();
    std::string out;
    EXPECT_EQ(runCommand({KALINDOR_CLI_PATH, "inputs"}, 5000, &out), 0);
    EXPECT_NE(out.find(std::string(PrivatePulseServer::kSink) + ".monitor\t"), std::string::npos)
        << out;
    EXPECT_NE(out.find("[monitor]"), std::string::npos) << out;
    const test::TempFolder folder;
    ChildProcess cli;
    cli.start({KALINDOR_CLI_PATH, "run", "--device", "none", "--input", "no_such_source"}, "",
              folder.path("err"));
    EXPECT_EQ(cli.wait(5000), 1);
    const std::string err = test::readBytes(folder.path("err"));
    EXPECT_NE(err.find(kOpenFailure + std::string(" ")), std::string::npos) << err;
    EXPECT_NE(err.find("no_such_source"), std::string::npos) << err;
}

// With no server at all the run falls back to PortAudio (ALSA): it either captures from a
// sound card or fails to open with the message on one line, in bounded time either way.
TEST(SourceLossTest, WithoutAServerRunFallsBackOrReportsTheOpenFailure) {
    const test::TempFolder folder;
    ::setenv("PULSE_SERVER", ("unix:" + folder.path("nothing-here")).c_str(), 1);
    ChildProcess cli;
    cli.start({KALINDOR_CLI_PATH, "run", "--device", "none", "--for", "1"}, "", folder.path("err"));
    const int status = cli.wait(10000);
    const std::string err = test::readBytes(folder.path("err"));
    EXPECT_TRUE(status == 0 || (status == 1 && err.find(kOpenFailure) != std::string::npos &&
                                err.find("PortAudio") != std::string::npos &&
                                std::count(err.begin(), err.end(), '\n') == 1))
        << status << ": " << err;
    std::string out;
    const int listed = runCommand({KALINDOR_CLI_PATH, "inputs"}, 10000, &out);
    EXPECT_TRUE(listed == 1 || (listed == 0 && out.rfind("# PortAudio", 0) == 0)) << out;
}

}  // namespace
}  // namespace kalindor::audiotest
