// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kalindor::test {

// A private OLA daemon (olad) for one test: its own config folder in which every plugin is
// off except one dummy device whose output port is patched to kUniverse, no web server, the
// RPC port the test chooses. As root it runs as nobody:nogroup (olad refuses root). It is
// stopped on destruction and dies with the test process.
//
//     if (!OlaDaemon::installed()) GTEST_SKIP() << OlaDaemon::kNotInstalled;
//     OlaDaemon olad;
//     const int port = OlaDaemon::freePort();
//     ASSERT_TRUE(olad.start(port)) << olad.log();
//     ... run the program with --device ola:1 --ola-port <port> ...
//     EXPECT_EQ(olad.awaitSlots(1, 1, expected), expected);
class OlaDaemon {
  public:
    static constexpr const char* kNotInstalled =
        "olad is not installed (Debian package 'ola'; scripts/install-deps.sh installs it)";
    static constexpr std::uint32_t kUniverse = 1;  // the one universe with a port patched

    static bool installed();  // an olad on PATH
    static int freePort();    // a TCP port on 127.0.0.1 that nothing listens on now

    // A config file's name and text, e.g. {"ola-e131.conf", "enabled = true\n..."}.
    using ConfigFiles = std::map<std::string, std::string>;
    // Universe kSecondUniverse made to exist too: an Open Pixel Control client's output port
    // (aimed at 127.0.0.1:7890, where nothing needs to listen) patched to it.
    static constexpr std::uint32_t kSecondUniverse = 2;
    static ConfigFiles withSecondUniverse();

    // `files` replace the default config files of the same name (every plugin off but the
    // dummy, its port patched to kUniverse).
    explicit OlaDaemon(const ConfigFiles& files = {});
    ~OlaDaemon();
    OlaDaemon(const OlaDaemon&) = delete;
    OlaDaemon& operator=(const OlaDaemon&) = delete;

    // Starts olad on `port` and waits (up to 5 s) until it accepts RPC connections; false
    // when it exits or does not answer. Again after stop() or kill(): a fresh process with
    // the same configuration, its universe empty.
    bool start(int port);
    // Sends `signal` and waits (SIGKILL after 5 s); nothing when not running.
    void stop(int signal = SIGTERM);
    // The daemon dies as in a crash, its connections drop at once.
    void kill() { stop(SIGKILL); }
    bool running() const { return pid_ > 0; }
    // What olad wrote to stdout and stderr since start(), for failure messages.
    std::string log() const;

    // The slots of `universe` as the daemon holds them now (index 0 is slot 1; empty until a
    // source sends); nullopt when the daemon does not answer or has no such universe.
    std::optional<std::vector<std::uint8_t>> fetch(std::uint32_t universe) const;
    // Polls fetch() until slots firstSlot..firstSlot+expected.size()-1 equal `expected` or
    // `timeoutMs` passes; returns those slots as last read, a slot past the data (or every
    // slot while fetch fails) as 0. A fetch right after a send can miss it, hence the poll.
    std::vector<std::uint8_t> awaitSlots(std::uint32_t universe, int firstSlot,
                                         const std::vector<std::uint8_t>& expected,
                                         int timeoutMs = 5000) const;

  private:
    std::filesystem::path folder_;
    pid_t pid_ = -1;
    int port_ = 0;
};

// Polls `condition` every 10 ms until it holds (true) or `timeoutMs` passes (false).
bool eventually(const std::function<bool()>& condition, int timeoutMs = 5000);

}  // namespace kalindor::test
