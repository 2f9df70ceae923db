// SPDX-License-Identifier: GPL-3.0-or-later
// Watches a universe for the latency benchmark (scripts/bench-latency.sh): starts a private OLA
// daemon on PORT (the tests' one, see tests/support/OlaDaemon.h), prints "ready", then one line
// per DMX update of UNIVERSE (default 1) as the daemon pushes it: the wall-clock time in ms
// since the Unix epoch and slots 1..8. Runs until SIGINT or SIGTERM, then stops the daemon.
//
//   ola_watch PORT [UNIVERSE]

#include <ola/Callback.h>
#include <ola/DmxBuffer.h>
#include <ola/client/OlaClient.h>
#include <ola/io/SelectServer.h>
#include <ola/network/TCPSocket.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "support/OlaDaemon.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;
constexpr unsigned kStopPollMs = 20;
ola::io::SelectServer* watchLoop = nullptr;

void announceReady(const ola::client::Result&) {
    std::printf("ready\n");
    std::fflush(stdout);
}

bool checkStop() {
    if (stopRequested != 0) {
        watchLoop->Terminate();
    }
    return true;
}

void printUpdate(const ola::client::DMXMetadata&, const ola::DmxBuffer& dmx) {
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    std::printf("%lld", static_cast<long long>(now.count()));
    for (unsigned slot = 0; slot < 8; ++slot) {
        std::printf(" %u", slot < dmx.Size() ? dmx.Get(slot) : 0u);
    }
    std::printf("\n");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: ola_watch PORT [UNIVERSE]\n");
        return 2;
    }
    const int port = std::atoi(argv[1]);
    const auto universe = static_cast<unsigned>(argc == 3 ? std::atoi(argv[2]) : 1);
    kalindor::test::OlaDaemon olad;
    if (!olad.start(port)) {
        std::fprintf(stderr, "ola_watch: olad did not start\n%s\n", olad.log().c_str());
        return 1;
    }
    std::signal(SIGINT, [](int) { stopRequested = 1; });
    std::signal(SIGTERM, [](int) { stopRequested = 1; });

    const std::unique_ptr<ola::network::TCPSocket> socket(
        ola::network::TCPSocket::Connect(ola::network::IPV4SocketAddress(
            ola::network::IPV4Address::Loopback(), static_cast<std::uint16_t>(port))));
    if (!socket) {
        std::fprintf(stderr, "ola_watch: cannot connect to olad on port %d\n", port);
        return 1;
    }
    ola::io::SelectServer loop;
    ola::client::OlaClient client(socket.get());
    client.Setup();
    client.SetDMXCallback(ola::NewCallback(&printUpdate));
    client.RegisterUniverse(universe, ola::client::REGISTER,
                            ola::NewSingleCallback(&announceReady));
    loop.AddReadDescriptor(socket.get());
    watchLoop = &loop;
    loop.RegisterRepeatingTimeout(kStopPollMs, ola::NewCallback(&checkStop));
    loop.Run();
    loop.RemoveReadDescriptor(socket.get());
    client.Stop();
    return 0;
}
