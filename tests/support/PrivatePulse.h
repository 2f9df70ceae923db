// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "support/TestFiles.h"

namespace kalindor::test {

// Runs a shell command and returns its exit status. Whatever could hang runs under timeout(1),
// so no test waits for ever or leaves a process behind for long, not even a crashed one.
inline int sh(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A private PulseAudio server with one null sink "kalindor_sink" (32000 Hz mono) as default
// output and its monitor as default input; its socket and state live in `dir`, and every client
// started from this process uses it (the environment says where). A silent low-latency stream
// keeps the sink rendering in real time (an idle null sink renders about 2 s ahead, so its
// monitor would deliver nothing meanwhile). started() is false, with the server's log in
// `log`, when it did not answer. The server exits when told so at destruction, or on its own
// 3 s after its last client, or after two minutes at the latest.
class PrivatePulse {
  public:
    explicit PrivatePulse(const std::string& dir) {
        std::ofstream(dir + "server.pa")
            << "load-module module-native-protocol-unix socket=" << dir
            << "native auth-anonymous=1\nload-module module-null-sink sink_name=kalindor_sink "
               "rate=32000 channels=1\nset-default-sink kalindor_sink\n"
               "set-default-source kalindor_sink.monitor\n";
        // As root the server needs its own runtime path (it would insist on the system's).
        for (const char* name :
             {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "PULSE_STATE_PATH"}) {
            ::setenv(name, dir.c_str(), 1);
        }
        ::setenv("PULSE_RUNTIME_PATH", (dir + "runtime").c_str(), 1);
        ::setenv("PULSE_SERVER", ("unix:" + dir + "native").c_str(), 1);
        ::setenv("PULSE_COOKIE", (dir + "cookie").c_str(), 1);
        sh("timeout 120 pulseaudio -n -F " + dir + "server.pa --daemonize=no --exit-idle-time=3 " +
           "--log-target=stderr 2>" + dir + "server.log &");
        for (int i = 0; i < 100 && sh("pactl info >/dev/null 2>&1") != 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        started_ = sh("pactl info >/dev/null 2>&1") == 0;
        log = readBytes(dir + "server.log");
        sh("timeout 60 pacat --playback --latency-msec=20 -d kalindor_sink /dev/zero "
           "2>/dev/null &");
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    }
    ~PrivatePulse() { sh("pactl exit 2>/dev/null"); }
    PrivatePulse(const PrivatePulse&) = delete;
    PrivatePulse& operator=(const PrivatePulse&) = delete;

    bool started() const { return started_; }
    std::string log;

  private:
    bool started_ = false;
};

}  // namespace kalindor::test
