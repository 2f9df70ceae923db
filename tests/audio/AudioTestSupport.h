#pragma once

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/MonotonicClock.h"
#include "support/TestFiles.h"

// Helpers of the tests against real sound: child processes, a private PulseAudio server,
// tones, and the simulated board's log.
namespace kalindor::audiotest {

inline void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A child process, its stdout and stderr going to files ("" = /dev/null). It gets SIGKILL if
// this test program dies first, so no test leaves a process behind, not even a crashed one.
class ChildProcess {
  public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() { terminate(SIGKILL); }

    // Starts argv[0], searched on PATH.
    void start(const std::vector<std::string>& argv, const std::string& outPath = {},
               const std::string& errPath = {}) {
        const pid_t parent = ::getpid();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) {
                ::_exit(127);
            }
            ::setpgid(0, 0);
            const auto redirect = [](const std::string& path, int flags, int fd) {
                ::dup2(::open(path.empty() ? "/dev/null" : path.c_str(), flags, 0644), fd);
            };
            redirect({}, O_RDONLY, STDIN_FILENO);
            redirect(outPath, O_WRONLY | O_CREAT | O_TRUNC, STDOUT_FILENO);
            redirect(errPath, O_WRONLY | O_CREAT | O_TRUNC, STDERR_FILENO);
            std::vector<char*> args;
            for (const std::string& arg : argv) {
                args.push_back(const_cast<char*>(arg.c_str()));
            }
            args.push_back(nullptr);
            ::execvp(args[0], args.data());
            ::_exit(127);
        }
    }
    // The exit status (128 + signal after a signal), or -1 while it runs after timeoutMs.
    int wait(int timeoutMs) {
        for (const std::int64_t deadline = monotonicMs() + timeoutMs; running(); sleepMs(5)) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            } else if (monotonicMs() >= deadline) {
                return -1;
            }
        }
        return status_;
    }
    // Sends the signal and reaps the process (SIGKILL after 3 s).
    void terminate(int signal) {
        for (const int each : {signal, SIGKILL}) {
            if (running()) {
                ::kill(pid_, each);
                wait(3000);
            }
        }
    }
    bool running() const { return pid_ > 0; }

  private:
    pid_t pid_ = -1;
    int status_ = -1;
};

// Runs a command to its end: its exit status, or -1 when it ran over timeoutMs (then killed).
inline int runCommand(const std::vector<std::string>& argv, int timeoutMs = 10000,
                      std::string* out = nullptr) {
    const test::TempFolder folder;
    ChildProcess child;
    child.start(argv, folder.path("out"));
    const int status = child.wait(timeoutMs);
    if (out != nullptr) {
        *out = test::readBytes(folder.path("out"));
    }
    return status;
}

// A private PulseAudio server in a temporary folder with one null sink kSink (32000 Hz mono)
// as default output and its monitor as default input; sets PULSE_SERVER and friends in this
// process, so every client started from here uses it. A silent low-latency stream keeps the
// sink rendering in real time (an idle null sink renders about 2 s ahead, so its monitor
// would deliver nothing meanwhile).
class PrivatePulseServer {
  public:
    static constexpr const char* kSink = "kalindor_sink";

    PrivatePulseServer() {
        const std::string dir = folder_.root().string();
        std::ofstream(dir + "/server.pa")
            << "load-module module-native-protocol-unix socket=" << dir
            << "/native auth-anonymous=1\nload-module module-null-sink sink_name=" << kSink
            << " rate=32000 channels=1\nset-default-sink " << kSink << "\nset-default-source "
            << kSink << ".monitor\n";
        // Everything the server and its clients look at lives in the folder. As root the
        // server needs its own runtime path (it would otherwise insist on the system's).
        for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME"}) {
            ::setenv(name, dir.c_str(), 1);
        }
        ::setenv("PULSE_RUNTIME_PATH", (dir + "/runtime").c_str(), 1);
        ::setenv("PULSE_STATE_PATH", (dir + "/state").c_str(), 1);
        ::setenv("PULSE_SERVER", ("unix:" + dir + "/native").c_str(), 1);
        ::setenv("PULSE_COOKIE", (dir + "/cookie").c_str(), 1);
        // In the foreground as our child (not daemonized), so it dies with this program.
        server_.start({"pulseaudio", "-n", "-F", dir + "/server.pa", "--daemonize=no",
                       "--exit-idle-time=-1", "--disallow-exit", "--log-target=stderr"},
                      "", dir + "/server.log");
        for (const std::int64_t deadline = monotonicMs() + 10000;
             runCommand({"pactl", "info"}, 2000) != 0; sleepMs(50)) {
            if (monotonicMs() > deadline || server_.wait(0) >= 0) {
                error_ = "the private PulseAudio server did not start: " +
                         test::readBytes(dir + "/server.log");
                return;
            }
        }
        keeper_.start({"pacat", "--playback", "--latency-msec=20", "-d", kSink, "/dev/zero"});
        sleepMs(2500);
    }
    ~PrivatePulseServer() {
        keeper_.terminate(SIGTERM);
        server_.terminate(SIGTERM);
    }
    PrivatePulseServer(const PrivatePulseServer&) = delete;
    PrivatePulseServer& operator=(const PrivatePulseServer&) = delete;

    const std::string& error() const { return error_; }  // empty when the server answers
    void kill() { server_.terminate(SIGKILL); }          // goes away as a crash would

  private:
    test::TempFolder folder_;
    std::string error_;
    ChildProcess server_;
    ChildProcess keeper_;
};

// Writes a 32000 Hz WAV of tones (frequency in Hz, 0 for silence; milliseconds), each with
// 10 ms raised-cosine edges so that no click lights other channels.
inline void writeTones(const std::string& path, const std::vector<std::pair<double, int>>& tones) {
    constexpr int kRate = 32000;
    constexpr int kEdge = kRate / 100;
    std::vector<float> samples;
    for (const auto& [frequencyHz, ms] : tones) {
        const int count = ms * kRate / 1000;
        for (int i = 0; i < count; ++i) {
            const int fromEdge = std::min(i, count - 1 - i);
            const double gain =
                fromEdge < kEdge ? 0.5 - 0.5 * std::cos(M_PI * fromEdge / kEdge) : 1.0;
            samples.push_back(
                static_cast<float>(0.5 * gain * std::sin(2.0 * M_PI * frequencyHz * i / kRate)));
        }
    }
    test::writeWav(path, samples, 1, kRate);
}

// kalindor-cli's --device sim log: each write's time and the light pattern its ports stand for.
struct PortWrite {
    std::int64_t ms;
    int pattern;
};
inline std::vector<PortWrite> readSimLog(const std::string& path) {
    std::vector<PortWrite> writes;
    std::istringstream lines(test::readBytes(path));
    std::int64_t ms = 0;
    int first = 0;
    int second = 0;
    int third = 0;
    int used = 0;
    while (lines >> ms >> first >> second >> third >> used) {
        writes.push_back({ms, ((first >> 2) << 6) | second});
    }
    return writes;
}

}  // namespace kalindor::audiotest
