// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/OlaDaemon.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <ola/Callback.h>
#include <ola/client/OlaClient.h>
#include <ola/io/SelectServer.h>
#include <ola/network/TCPSocket.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <thread>

#include "support/TestFiles.h"

namespace kalindor::test {

namespace fs = std::filesystem;

namespace {

// Every plugin of OLA 0.10.9 by its config file name, dummy left out.
constexpr const char* kOtherPlugins =
    "artnet e131 espnet ftdidmx gpio karate kinet milinst opendmx openpixelcontrol osc "
    "pathport renard sandnet shownet spi stageprofi uartdmx usbdmx usbserial";

// A connection to 127.0.0.1:port; null when nothing accepts it.
std::unique_ptr<ola::network::TCPSocket> connectTo(int port) {
    return std::unique_ptr<ola::network::TCPSocket>(
        ola::network::TCPSocket::Connect(ola::network::IPV4SocketAddress(
            ola::network::IPV4Address::Loopback(), static_cast<std::uint16_t>(port))));
}

// Collects one FetchDMX answer; the loop also ends when the connection closes or after 2 s.
struct Fetch {
    ola::io::SelectServer loop;
    std::optional<std::vector<std::uint8_t>> slots;
    void done(const ola::client::Result& result, const ola::client::DMXMetadata&,
              const ola::DmxBuffer& dmx) {
        if (result.Success()) {
            slots.emplace(dmx.GetRaw(), dmx.GetRaw() + dmx.Size());
        }
        loop.Terminate();
    }
    void end() { loop.Terminate(); }
    void closed() {
        closeHandlerRan = true;
        loop.Terminate();
    }
    bool closeHandlerRan = false;
};

}  // namespace

bool OlaDaemon::installed() {
    return std::system("command -v olad >/dev/null 2>&1") == 0;
}

int OlaDaemon::freePort() {
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof address;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                       ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0;
    ::close(fd);
    EXPECT_TRUE(bound) << "no free TCP port";
    return ntohs(address.sin_port);
}

OlaDaemon::ConfigFiles OlaDaemon::withSecondUniverse() {
    const std::string dummyPort = "1-1-O-0 = " + std::to_string(kUniverse) + "\n";
    return {{"ola-openpixelcontrol.conf",
             "enabled = true\ntarget = 127.0.0.1:7890\ntarget_127.0.0.1:7890_channel = 0\n"},
            {"ola-port.conf",
             dummyPort + "21-127.0.0.1:7890-O-0 = " + std::to_string(kSecondUniverse) + "\n"}};
}

OlaDaemon::OlaDaemon(const ConfigFiles& files) {
    std::string pattern = (fs::temp_directory_path() / "kalindor-olad-XXXXXX").string();
    EXPECT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    // Open to the unprivileged user olad runs as when the test runs as root.
    fs::permissions(folder_, fs::perms::all);
    std::istringstream plugins(kOtherPlugins);
    for (std::string plugin; plugins >> plugin;) {
        writeBytes(folder_ / ("ola-" + plugin + ".conf"), "enabled = false\n");
    }
    writeBytes(folder_ / "ola-dummy.conf", "enabled = true\ndummy_device_count = 1\n");
    // Output port 0 of device 1 (the dummy) patched to the universe.
    writeBytes(folder_ / "ola-port.conf", "1-1-O-0 = " + std::to_string(kUniverse) + "\n");
    for (const auto& [name, text] : files) {
        writeBytes(folder_ / name, text);
    }
}

OlaDaemon::~OlaDaemon() {
    stop();
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

bool OlaDaemon::start(int port) {
    stop();
    port_ = port;
    const std::string log = (folder_ / "olad.log").string();
    const std::string folder = folder_.string();
    const std::string rpcPort = std::to_string(port);
    // olad refuses to run as root; setpriv drops to nobody and keeps the death signal.
    std::vector<const char*> argv;
    if (::geteuid() == 0) {
        argv = {"setpriv",        "--reuid=nobody", "--regid=nogroup",
                "--clear-groups", "--pdeathsig",    "KILL"};
    }
    argv.insert(argv.end(), {"olad", "--config-dir", folder.c_str(), "--no-http",
                             "--no-register-with-dns-sd", "--rpc-port", rpcPort.c_str(), nullptr});
    pid_ = ::fork();
    if (pid_ == 0) {  // only async-signal-safe calls until exec
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(out, 2);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // olad dies with the test
        ::execvp(argv[0], const_cast<char* const*>(argv.data()));
        ::_exit(127);
    }
    const bool answered = eventually([this] {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;  // it exited; the log says why
        }
        return !running() || connectTo(port_) != nullptr;
    });
    if (!answered) {
        stop();
    }
    return running();
}

void OlaDaemon::stop(int signal) {
    if (running()) {
        ::kill(pid_, signal);
        if (!eventually([this] { return ::waitpid(pid_, nullptr, WNOHANG) == pid_; })) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    pid_ = -1;
}

std::string OlaDaemon::log() const {
    return "olad log:\n" + readBytes(folder_ / "olad.log");
}

std::optional<std::vector<std::uint8_t>> OlaDaemon::fetch(std::uint32_t universe) const {
    const auto socket = connectTo(port_);
    if (!socket) {
        return std::nullopt;
    }
    Fetch fetch;
    ola::client::OlaClient client(socket.get());
    client.Setup();
    // The client runs its close handler but never frees it: freed here unless it ran.
    auto* const onClose = ola::NewSingleCallback(&fetch, &Fetch::closed);
    client.SetCloseHandler(onClose);
    fetch.loop.AddReadDescriptor(socket.get());
    client.FetchDMX(universe, ola::NewSingleCallback(&fetch, &Fetch::done));
    fetch.loop.RegisterSingleTimeout(2000, ola::NewSingleCallback(&fetch, &Fetch::end));
    fetch.loop.Run();
    fetch.loop.RemoveReadDescriptor(socket.get());
    client.SetCloseHandler(nullptr);
    if (!fetch.closeHandlerRan) {
        delete onClose;
    }
    client.Stop();
    return fetch.slots;
}

std::vector<std::uint8_t> OlaDaemon::awaitSlots(std::uint32_t universe, int firstSlot,
                                                const std::vector<std::uint8_t>& expected,
                                                int timeoutMs) const {
    std::vector<std::uint8_t> seen;
    eventually(
        [&] {
            const auto slots = fetch(universe).value_or(std::vector<std::uint8_t>{});
            seen.assign(expected.size(), 0);
            for (std::size_t i = 0, at = firstSlot - 1; i < seen.size() && at + i < slots.size();
                 ++i) {
                seen[i] = slots[at + i];
            }
            return seen == expected;
        },
        timeoutMs);
    return seen;
}

bool eventually(const std::function<bool()>& condition, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace kalindor::test
