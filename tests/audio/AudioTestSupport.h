#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kalindor::audiotest {

// A child process whose stdout and stderr go to files. It receives SIGKILL if this test
// program dies first, so no test leaves a process behind, not even a crashed one.
class ChildProcess {
  public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    // Starts argv[0] (searched on PATH) with outputs to outPath/errPath ("" = /dev/null).
    void start(const std::vector<std::string>& argv, const std::string& outPath = {},
               const std::string& errPath = {});
    // Waits up to timeoutMs; returns the exit status (128 + signal for a signal), or -1 when
    // still running.
    int wait(int timeoutMs);
    void terminate(int signal);  // sends the signal and reaps the process
    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    int status_ = -1;
};

// Runs a command to its end (bounded); returns the exit status, -1 on timeout (then killed).
int runCommand(const std::vector<std::string>& argv, int timeoutMs = 10000,
               std::string* out = nullptr);

// A private PulseAudio server in a temporary folder with one null sink "kalindor_sink"
// (32000 Hz mono) as default output and its monitor as default input. Sets PULSE_SERVER and
// friends in this process so that every client started from here uses it. A silent
// low-latency stream keeps the sink rendering in real time (an idle null sink pre-renders
// about 2 s, so its monitor would deliver nothing meanwhile).
class PrivatePulseServer {
  public:
    static constexpr const char* kSink = "kalindor_sink";

    PrivatePulseServer();
    ~PrivatePulseServer();
    PrivatePulseServer(const PrivatePulseServer&) = delete;
    PrivatePulseServer& operator=(const PrivatePulseServer&) = delete;

    // Empty when the server runs and answers; else why not.
    const std::string& error() const { return error_; }
    const std::string& folder() const { return folder_; }
    void kill();  // the server goes away as a crash would

  private:
    std::string folder_;
    std::string error_;
    ChildProcess server_;
    ChildProcess keeper_;
};

// A temporary folder removed with its contents at destruction.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Writes mono 16-bit PCM WAV (samples nominally -1..1).
void writeWav(const std::string& path, const std::vector<float>& samples, int rateHz);
// Appends a tone of the given length with 10 ms raised-cosine edges (no click to light
// other channels), or silence when frequencyHz is 0.
void appendTone(std::vector<float>& samples, double frequencyHz, double amplitude, int ms,
                int rateHz);

// kalindor-cli's --device sim log.
struct PortWrite {
    std::int64_t ms;
    int pattern;  // the light pattern the port bytes stand for
};
std::vector<PortWrite> readSimLog(const std::string& path);

std::string readFile(const std::string& path);
std::int64_t monotonicMs();
void sleepMs(int ms);

}  // namespace kalindor::audiotest
