// SPDX-License-Identifier: MIT
// kestrine_fake_server ADDRESS PORT sntp|time|silent OFFSET_SECONDS
// A time server for the journeys of the Windows program: it serves until it is
// killed and prints one line per request, so that a script can count them.
// The offset is how far the server's clock is ahead of this machine's.
#include <pthread.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>

#include "Fakes/FakeUdpServer.h"

using namespace KestrineTest;

namespace {

FakeUdpServer::Handler Logged(FakeUdpServer::Handler inner) {
  return [inner = std::move(inner)](const Datagram& request) {
    std::printf("request from %s:%u, %zu bytes\n", request.FromIP.c_str(), request.FromPort, request.Data.size());
    std::fflush(stdout);
    return inner(request);
  };
}

FakeUdpServer::Handler MakeHandler(const std::string& kind, double offset) {
  if (kind == "sntp") return SntpHandler(offset);
  if (kind == "time") return TimeProtocolHandler(offset);
  if (kind == "silent") return SilentHandler();
  throw std::invalid_argument("unknown kind '" + kind + "' (sntp, time or silent)");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s ADDRESS PORT sntp|time|silent OFFSET_SECONDS\n", argv[0]);
    return 64;
  }
  try {
    // Blocked before the server's thread starts, so that only sigwait sees them.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    FakeUdpServer server(argv[1], static_cast<std::uint16_t>(std::stoi(argv[2])),
                         Logged(MakeHandler(argv[3], std::stod(argv[4]))));
    std::printf("serving on %s:%u\n", server.IP().c_str(), server.Port());
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stop, &signal);
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "kestrine_fake_server: %s\n", error.what());
    return 1;
  }
}
