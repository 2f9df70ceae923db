// kalindor-cli run in real time with the simulated board, whose log shows what the lights did:
// a sound file played as if captured, and live capture from a private PulseAudio server. A
// source that goes away, or is not there, must end a run with a message.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/MonotonicClock.h"
#include "support/TestFiles.h"

namespace kalindor {
namespace {

const std::string kCli = KALINDOR_CLI_PATH;

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A child process, its stdout and stderr going to files ("" = /dev/null). It gets SIGKILL if
// this test program dies first, so no test leaves a process behind, not even a crashed one.
class Child {
  public:
    Child() = default;
    Child(const std::vector<std::string>& argv, const std::string& out = {},
          const std::string& err = {}) {
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
            redirect(out, O_WRONLY | O_CREAT | O_TRUNC, STDOUT_FILENO);
            redirect(err, O_WRONLY | O_CREAT | O_TRUNC, STDERR_FILENO);
            std::vector<char*> args;
            for (const std::string& arg : argv) {
                args.push_back(const_cast<char*>(arg.c_str()));
            }
            args.push_back(nullptr);
            ::execvp(args[0], args.data());
            ::_exit(127);
        }
    }
    Child(Child&& other) noexcept : pid_(std::exchange(other.pid_, -1)) {}
    Child& operator=(Child&& other) noexcept {
        stop(SIGKILL);
        pid_ = std::exchange(other.pid_, -1);
        return *this;
    }
    ~Child() { stop(SIGKILL); }

    // The exit status (128 + signal after a signal), or -1 while it runs after timeoutMs.
    int wait(int timeoutMs) {
        for (const std::int64_t deadline = monotonicMs() + timeoutMs; pid_ > 0; sleepMs(5)) {
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
    void stop(int signal) {
        for (const int each : {signal, SIGKILL}) {
            if (pid_ > 0) {
                ::kill(pid_, each);
                wait(3000);
            }
        }
    }

  private:
    pid_t pid_ = -1;
    int status_ = -1;
};

// Runs a command to its end: its exit status, or -1 when it ran over 10 s (then killed).
int run(const std::vector<std::string>& argv, std::string* out = nullptr) {
    const test::TempFolder folder;
    const int status = Child(argv, folder.path("out")).wait(10000);
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
        server_ = Child({"pulseaudio", "-n", "-F", dir + "/server.pa", "--daemonize=no",
                         "--exit-idle-time=-1", "--disallow-exit", "--log-target=stderr"},
                        "", dir + "/server.log");
        for (const std::int64_t deadline = monotonicMs() + 10000; run({"pactl", "info"}) != 0;
             sleepMs(50)) {
            if (monotonicMs() > deadline || server_.wait(0) >= 0) {
                ADD_FAILURE() << "no sound server: " << test::readBytes(dir + "/server.log");
                return;
            }
        }
        keeper_ = Child({"pacat", "--playback", "--latency-msec=20", "-d", kSink, "/dev/zero"});
        sleepMs(2500);
        ready = true;
    }

    bool ready = false;

  private:
    test::TempFolder folder_;
    Child server_;
    Child keeper_;
};

// Writes a 32000 Hz WAV of tones (frequency in Hz, 0 for silence; milliseconds), each with
// 10 ms raised-cosine edges so that no click lights other channels.
void writeTones(const std::string& path, const std::vector<std::pair<double, int>>& tones) {
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

// The simulated board's log: for each write, its time and the light pattern its ports carry.
std::vector<std::pair<std::int64_t, int>> readSimLog(const std::string& path) {
    std::vector<std::pair<std::int64_t, int>> writes;
    std::istringstream lines(test::readBytes(path));
    std::int64_t ms = 0;
    int first = 0;
    int second = 0;
    int unused = 0;
    while (lines >> ms >> first >> second >> unused >> unused) {
        writes.emplace_back(ms, ((first >> 2) << 6) | second);
    }
    return writes;
}

// Starts kalindor-cli run with the simulated board and waits until capture runs (the start-up
// write of the empty pattern is logged).
Child startRun(const test::TempFolder& folder, std::vector<std::string> options) {
    options.insert(options.begin(), {kCli, "run", "--device", "sim"});
    Child cli(options, folder.path("log"), folder.path("err"));
    for (const std::int64_t deadline = monotonicMs() + 5000;
         readSimLog(folder.path("log")).empty() && monotonicMs() < deadline;) {
        sleepMs(10);
    }
    return cli;
}

// A 1001 Hz burst lights channel 3 (start-up point 16); a second later the automaton takes
// over with running fire (100 ms steps), and the run ends when the file has played.
TEST(SoundInputs, RunPlaysAFileThenTheAutomatonAndEndsWithTheFile) {
    const test::TempFolder folder;
    writeTones(folder.path("tone.wav"), {{1001.0, 600}, {0.0, 3000}});
    EXPECT_EQ(Child({kCli, "run", "--device", "sim", "--effect-speed", "1", "--input",
                     folder.path("tone.wav"), "--for", "20"},
                    folder.path("log"), folder.path("err"))
                  .wait(10000),
              0)
        << test::readBytes(folder.path("err"));
    const auto log = readSimLog(folder.path("log"));
    const auto burst = std::find_if(log.begin(), log.end(), [](auto w) { return w.second == 8; });
    ASSERT_NE(burst, log.end()) << test::readBytes(folder.path("log"));
    // The single lit channel after the burst: the last steps must be running fire.
    std::vector<int> positions;
    for (auto it = burst + 1; it != log.end(); ++it) {
        if (it->second != 0 && (it->second & (it->second - 1)) == 0) {
            positions.push_back(__builtin_ctz(static_cast<unsigned>(it->second)));
        }
    }
    ASSERT_GE(positions.size(), 8u);
    for (std::size_t i = positions.size() - 7; i < positions.size(); ++i) {
        EXPECT_LE(std::abs(positions[i] - positions[i - 1]), 1) << i;
    }
    // About 29 days: more milliseconds than an int holds, so the run must not end at once.
    EXPECT_EQ(Child({kCli, "run", "--device", "none", "--loop", "--input", folder.path("tone.wav"),
                     "--for", "2500000"})
                  .wait(1500),
              -1);
    Child missing({kCli, "run", "--device", "none", "--input", folder.path("nothing.wav")}, "",
                  folder.path("err"));
    EXPECT_EQ(missing.wait(5000), 1);
    const std::string err = test::readBytes(folder.path("err"));
    EXPECT_NE(err.find("Невозможно открыть устройство ввода звука. "), std::string::npos) << err;
    EXPECT_NE(err.find("nothing.wav"), std::string::npos) << err;
}

// Live capture from the monitor of the server's sink: the burst lights channel 3 most of its
// second. A dropout of the stream on a loaded machine is a click that may light a stray
// channel for a moment, so the others only need to stay dark most of the time.
TEST(SoundInputs, LiveCaptureLightsTheToneUntilTheSourceIsLost) {
    PrivatePulseServer server;
    ASSERT_TRUE(server.ready);
    const test::TempFolder folder;
    std::string out;
    EXPECT_EQ(run({kCli, "inputs"}, &out), 0);
    EXPECT_NE(out.find(std::string(PrivatePulseServer::kSink) + ".monitor\t"), std::string::npos)
        << out;
    writeTones(folder.path("burst.wav"), {{0, 300}, {1001, 1000}, {0, 1300}});
    Child cli = startRun(folder, {"--effects", "off", "--stats"});
    EXPECT_EQ(run({"paplay", "-d", PrivatePulseServer::kSink, folder.path("burst.wav")}), 0);
    cli.stop(SIGINT);
    std::string err = test::readBytes(folder.path("err"));
    EXPECT_EQ(cli.wait(0), 0) << "SIGINT must end the run cleanly: " << err;
    const auto log = readSimLog(folder.path("log"));
    std::array<std::int64_t, 8> litMs{};
    for (std::size_t i = 0; i + 1 < log.size(); ++i) {
        for (int ch = 0; ch < 8; ++ch) {
            litMs[ch] += ((log[i].second >> ch) & 1) * (log[i + 1].first - log[i].first);
        }
    }
    for (int ch = 0; ch < 8; ++ch) {
        EXPECT_TRUE(ch == 3 ? litMs[ch] >= 700 : litMs[ch] <= 300) << ch << ": " << litMs[ch];
    }
    // A loaded machine may delay ticks (they are never made up), but every tick either got
    // its own buffer or was skipped while one was outstanding, and no two buffers share a
    // sample.
    std::smatch stats;
    ASSERT_TRUE(std::regex_search(
        err, stats,
        std::regex("ticks=(\\d+) buffers=(\\d+) skipped-ticks=(\\d+) overlapping=(\\d+)")))
        << err;
    EXPECT_EQ(std::stol(stats[2]) + std::stol(stats[3]), std::stol(stats[1]));
    EXPECT_GE(std::stol(stats[2]), std::stol(stats[1]) / 2);
    EXPECT_EQ(std::stol(stats[4]), 0);

    // The source going away ends a run within two seconds, with a message.
    cli = startRun(folder, {"--for", "60"});
    EXPECT_EQ(run({"pactl", "unload-module", "module-null-sink"}), 0);
    const std::int64_t lost = monotonicMs();
    EXPECT_EQ(cli.wait(5000), 1);
    EXPECT_LT(monotonicMs() - lost, 2000);
    err = test::readBytes(folder.path("err"));
    EXPECT_EQ(err.rfind("kalindor-cli: run: the sound input was lost", 0), 0u) << err;
}

}  // namespace
}  // namespace kalindor
