#pragma once

#include <sys/types.h>

#include <csignal>

#include <cstdint>
#include <string>
#include <vector>

namespace kalindor::audiotest {

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
               const std::string& errPath = {});
    // Waits up to timeoutMs; the exit status (128 + signal after a signal), -1 while running.
    int wait(int timeoutMs);
    void terminate(int signal);  // sends the signal and reaps the process
    bool running() const { return pid_ > 0; }

  private:
    pid_t pid_ = -1;
    int status_ = -1;
};

// Runs a command to its end; its exit status, or -1 when it ran over timeoutMs (then killed).
int runCommand(const std::vector<std::string>& argv, int timeoutMs = 10000,
               std::string* out = nullptr);

// A private PulseAudio server in a temporary folder with one null sink kSink (32000 Hz mono)
// as default output and its monitor as default input; sets PULSE_SERVER and friends in this
// process, so every client started from here uses it. A silent low-latency stream keeps the
// sink rendering in real time (an idle null sink renders about 2 s ahead, so its monitor
// would deliver nothing meanwhile).
class PrivatePulseServer {
  public:
    static constexpr const char* kSink = "kalindor_sink";

    PrivatePulseServer();
    ~PrivatePulseServer();
    PrivatePulseServer(const PrivatePulseServer&) = delete;
    PrivatePulseServer& operator=(const PrivatePulseServer&) = delete;

    const std::string& error() const { return error_; }  // empty when the server answers
    void kill() { server_.terminate(SIGKILL); }          // goes away as a crash would

  private:
    std::string folder_;
    std::string error_;
    ChildProcess server_;
    ChildProcess keeper_;
};

// Appends a tone of `ms` at 32000 Hz with 10 ms raised-cosine edges (no click to light other
// channels), or silence when frequencyHz is 0.
void appendTone(std::vector<float>& samples, double frequencyHz, double amplitude, int ms);

// kalindor-cli's --device sim log: each write's time and the light pattern its ports stand for.
struct PortWrite {
    std::int64_t ms;
    int pattern;
};
std::vector<PortWrite> readSimLog(const std::string& path);

void sleepMs(int ms);

}  // namespace kalindor::audiotest
