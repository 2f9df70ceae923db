#include "AudioTestSupport.h"

#include <fcntl.h>
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

#include "core/MonotonicClock.h"
#include "support/TestFiles.h"

namespace kalindor::audiotest {

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
        ::dup2(::open("/dev/null", O_RDONLY), STDIN_FILENO);
        ::dup2(::open(outPath.empty() ? "/dev/null" : outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                      0644),
               STDOUT_FILENO);
        ::dup2(::open(errPath.empty() ? "/dev/null" : errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                      0644),
               STDERR_FILENO);
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
    for (const std::int64_t deadline = monotonicMs() + timeoutMs; running();) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        } else if (monotonicMs() >= deadline) {
            return -1;
        } else {
            sleepMs(5);
        }
    }
    return status_;
}

void ChildProcess::terminate(int signal) {
    if (running()) {
        ::kill(pid_, signal);
        if (wait(3000) < 0) {
            ::kill(pid_, SIGKILL);
            wait(3000);
        }
    }
}

int runCommand(const std::vector<std::string>& argv, int timeoutMs, std::string* out) {
    const test::TempFolder folder;
    ChildProcess child;
    child.start(argv, folder.path("out"));
    const int status = child.wait(timeoutMs);
    if (out != nullptr) {
        *out = test::readBytes(folder.path("out"));
    }
    return status;
}

PrivatePulseServer::PrivatePulseServer() {
    char pattern[] = "/tmp/kalindor-pulse.XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        error_ = "mkdtemp failed";
        return;
    }
    folder_ = pattern;
    std::ofstream(folder_ + "/server.pa")
        << "load-module module-native-protocol-unix socket=" << folder_
        << "/native auth-anonymous=1\nload-module module-null-sink sink_name=" << kSink
        << " rate=32000 channels=1\nset-default-sink " << kSink << "\nset-default-source " << kSink
        << ".monitor\n";
    // Everything the server and its clients look at lives in the folder. As root the server
    // needs its own runtime path (it would otherwise insist on the system instance's).
    for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME"}) {
        ::setenv(name, folder_.c_str(), 1);
    }
    ::setenv("PULSE_RUNTIME_PATH", (folder_ + "/runtime").c_str(), 1);
    ::setenv("PULSE_STATE_PATH", (folder_ + "/state").c_str(), 1);
    ::setenv("PULSE_SERVER", ("unix:" + folder_ + "/native").c_str(), 1);
    ::setenv("PULSE_COOKIE", (folder_ + "/cookie").c_str(), 1);
    // In the foreground as our child (not daemonized), so it is reaped here and dies with us.
    server_.start({"pulseaudio", "-n", "-F", folder_ + "/server.pa", "--daemonize=no",
                   "--exit-idle-time=-1", "--disallow-exit", "--log-target=stderr"},
                  "", folder_ + "/server.log");
    for (const std::int64_t deadline = monotonicMs() + 10000;
         runCommand({"pactl", "info"}, 2000) != 0; sleepMs(50)) {
        if (monotonicMs() > deadline || server_.wait(0) >= 0) {
            error_ = "the private PulseAudio server did not start: " +
                     test::readBytes(folder_ + "/server.log");
            return;
        }
    }
    keeper_.start({"pacat", "--playback", "--latency-msec=20", "-d", kSink, "/dev/zero"});
    sleepMs(2500);
}

PrivatePulseServer::~PrivatePulseServer() {
    keeper_.terminate(SIGTERM);
    server_.terminate(SIGTERM);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

void appendTone(std::vector<float>& samples, double frequencyHz, double amplitude, int ms) {
    constexpr int kRate = 32000;
    constexpr int kEdge = kRate / 100;
    const int count = ms * kRate / 1000;
    for (int i = 0; i < count; ++i) {
        const int fromEdge = std::min(i, count - 1 - i);
        const double gain = fromEdge < kEdge ? 0.5 - 0.5 * std::cos(M_PI * fromEdge / kEdge) : 1.0;
        samples.push_back(
            static_cast<float>(amplitude * gain * std::sin(2.0 * M_PI * frequencyHz * i / kRate)));
    }
}

std::vector<PortWrite> readSimLog(const std::string& path) {
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

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace kalindor::audiotest
