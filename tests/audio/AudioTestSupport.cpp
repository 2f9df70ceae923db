#include "AudioTestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace kalindor::audiotest {

std::int64_t monotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

ChildProcess::~ChildProcess() {
    if (running()) {
        terminate(SIGKILL);
    }
}

void ChildProcess::start(const std::vector<std::string>& argv, const std::string& outPath,
                         const std::string& errPath) {
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) {
            ::_exit(127);
        }
        ::setpgid(0, 0);
        const int out = ::open(outPath.empty() ? "/dev/null" : outPath.c_str(),
                               O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.empty() ? "/dev/null" : errPath.c_str(),
                               O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    pid_ = pid;
}

int ChildProcess::wait(int timeoutMs) {
    if (!running()) {
        return status_;
    }
    const std::int64_t deadline = monotonicMs() + timeoutMs;
    for (;;) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return status_;
        }
        if (monotonicMs() >= deadline) {
            return -1;
        }
        sleepMs(5);
    }
}

void ChildProcess::terminate(int signal) {
    if (!running()) {
        return;
    }
    ::kill(pid_, signal);
    if (wait(3000) < 0) {
        ::kill(pid_, SIGKILL);
        wait(3000);
    }
}

int runCommand(const std::vector<std::string>& argv, int timeoutMs, std::string* out) {
    TempFolder folder;
    ChildProcess child;
    child.start(argv, folder.file("out"));
    const int status = child.wait(timeoutMs);
    if (status < 0) {
        child.terminate(SIGKILL);
    }
    if (out != nullptr) {
        *out = readFile(folder.file("out"));
    }
    return status;
}

TempFolder::TempFolder() {
    char pattern[] = "/tmp/kalindor-audio.XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

PrivatePulseServer::PrivatePulseServer() {
    char pattern[] = "/tmp/kalindor-pulse.XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        error_ = "mkdtemp failed";
        return;
    }
    folder_ = pattern;
    const std::string socket = folder_ + "/native";
    {
        std::ofstream config(folder_ + "/server.pa");
        config << "load-module module-native-protocol-unix socket=" << socket
               << " auth-anonymous=1\n"
               << "load-module module-null-sink sink_name=" << kSink << " rate=32000 channels=1\n"
               << "set-default-sink " << kSink << "\n"
               << "set-default-source " << kSink << ".monitor\n";
    }
    // Everything the server and its clients look at lives in the folder. As root the server
    // needs its own runtime path (it would otherwise insist on the system instance's).
    ::setenv("HOME", folder_.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    ::setenv("PULSE_RUNTIME_PATH", (folder_ + "/runtime").c_str(), 1);
    ::setenv("PULSE_STATE_PATH", (folder_ + "/state").c_str(), 1);
    ::setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
    ::setenv("PULSE_COOKIE", (folder_ + "/cookie").c_str(), 1);

    // Run in the foreground as our child (not daemonized), so it is reaped here and dies
    // with this program.
    server_.start({"pulseaudio", "-n", "-F", folder_ + "/server.pa", "--daemonize=no",
                   "--exit-idle-time=-1", "--disallow-exit", "--log-target=stderr"},
                  "", folder_ + "/server.log");
    const std::int64_t deadline = monotonicMs() + 10000;
    while (runCommand({"pactl", "info"}, 2000) != 0) {
        if (monotonicMs() > deadline || server_.wait(0) >= 0) {
            error_ =
                "the private PulseAudio server did not start: " + readFile(folder_ + "/server.log");
            return;
        }
        sleepMs(50);
    }
    keeper_.start({"pacat", "--playback", "--latency-msec=20", "-d", kSink, "/dev/zero"});
    sleepMs(2500);
}

PrivatePulseServer::~PrivatePulseServer() {
    keeper_.terminate(SIGTERM);
    server_.terminate(SIGTERM);
    if (!folder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
}

void PrivatePulseServer::kill() {
    server_.terminate(SIGKILL);
}

void writeWav(const std::string& path, const std::vector<float>& samples, int rateHz) {
    SF_INFO info{};
    info.samplerate = rateHz;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        throw std::runtime_error("cannot write " + path);
    }
    sf_write_float(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
}

void appendTone(std::vector<float>& samples, double frequencyHz, double amplitude, int ms,
                int rateHz) {
    const int count = ms * rateHz / 1000;
    const int edge = rateHz / 100;
    for (int i = 0; i < count; ++i) {
        double gain = 1.0;
        if (i < edge) {
            gain = 0.5 - 0.5 * std::cos(M_PI * i / edge);
        } else if (i >= count - edge) {
            gain = 0.5 - 0.5 * std::cos(M_PI * (count - 1 - i) / edge);
        }
        const double value =
            frequencyHz > 0.0 ? amplitude * gain * std::sin(2.0 * M_PI * frequencyHz * i / rateHz)
                              : 0.0;
        samples.push_back(static_cast<float>(value));
    }
}

std::vector<PortWrite> readSimLog(const std::string& path) {
    std::vector<PortWrite> writes;
    std::istringstream lines(readFile(path));
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
