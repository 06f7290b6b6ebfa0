// SPDX-License-Identifier: MIT
// The Time protocol bench's two peers as processes of their own, for measuring
// the program as a user runs it (bench/time_server_program.sh):
//   time_peers bare PORT                          a bare recvmmsg/sendmmsg server, until killed
//   time_peers load PORT SECONDS SOCKETS INFLIGHT the bounded load; prints one line of figures
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "LoadGenerator.h"

int main(int argc, char** argv) {
  const std::string mode = argc > 2 ? argv[1] : "";
  if (mode == "bare") {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(std::atoi(argv[2])));
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      std::perror("bind");
      return 1;
    }
    std::printf("serving\n");
    std::fflush(stdout);
    for (;;) ServeTimeBatch(fd);
  }
  if (mode == "load" && argc == 6) {
    TLoadSettings load;
    load.Port = static_cast<std::uint16_t>(std::atoi(argv[2]));
    load.Duration = std::chrono::milliseconds(std::atoi(argv[3]) * 1000);
    load.Sockets = std::atoi(argv[4]);
    load.InFlight = std::atoi(argv[5]);
    const TLoadResult result = RunLoad(load);
    std::printf("replies/s %.0f lost %llu sent %llu p50 %.1f p99 %.1f\n", result.RepliesPerSecond(),
                static_cast<unsigned long long>(result.Lost), static_cast<unsigned long long>(result.Sent),
                Percentile(result.LatencyMicros, 0.5), Percentile(result.LatencyMicros, 0.99));
    return 0;
  }
  std::fprintf(stderr, "usage: %s bare PORT | load PORT SECONDS SOCKETS INFLIGHT\n", argv[0]);
  return 64;
}
