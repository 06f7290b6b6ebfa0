// SPDX-License-Identifier: MIT
#include "LoadGenerator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <deque>

#include "Protocols/IdTimeUDPServer.h"

namespace {

using Clock = std::chrono::steady_clock;

struct TClientSocket {
  int Fd = -1;
  std::deque<Clock::time_point> Outstanding;  // loopback keeps order, so replies pair with the oldest
};

}  // namespace

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

TLoadResult RunLoad(const TLoadSettings& settings) {
  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_port = htons(settings.Port);
  server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::vector<TClientSocket> clients(static_cast<std::size_t>(settings.Sockets));
  std::vector<pollfd> set;
  for (auto& client : clients) {
    client.Fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    set.push_back({client.Fd, POLLIN, 0});
  }
  TLoadResult result;
  const auto send = [&](TClientSocket& client) {
    if (sendto(client.Fd, "", 0, 0, reinterpret_cast<const sockaddr*>(&server), sizeof server) == 0) {
      client.Outstanding.push_back(Clock::now());
      ++result.Sent;
    }
  };
  const auto start = Clock::now();
  const auto end = start + settings.Duration;
  for (auto& client : clients)
    for (int i = 0; i < settings.InFlight; ++i) send(client);
  std::uint64_t sampleEvery = 1;
  while (Clock::now() < end) {
    poll(set.data(), set.size(), 10);
    for (std::size_t i = 0; i < clients.size(); ++i) {
      auto& client = clients[i];
      unsigned char reply[16];
      while (recv(client.Fd, reply, sizeof reply, 0) >= 0) {
        ++result.Replies;
        if (!client.Outstanding.empty()) {
          // Read at each reply: a busy socket keeps this loop going for a long
          // time, and a reply may answer a request sent in it.
          if (result.Replies % sampleEvery == 0)
            result.LatencyMicros.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - client.Outstanding.front()).count());
          client.Outstanding.pop_front();
        }
        if (result.LatencyMicros.size() > 200000) {  // keep every other sample, and sample half as often
          auto& samples = result.LatencyMicros;
          for (std::size_t k = 0; k < samples.size() / 2; ++k) samples[k] = samples[2 * k];
          samples.resize(samples.size() / 2);
          sampleEvery *= 2;
        }
        send(client);
      }
      const auto now = Clock::now();
      while (!client.Outstanding.empty() && now - client.Outstanding.front() > settings.LossTimeout) {
        client.Outstanding.pop_front();
        ++result.Lost;
        send(client);
      }
    }
  }
  result.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
  for (auto& client : clients) close(client.Fd);
  return result;
}

void ServeTimeBatch(int fd) {
  constexpr unsigned Most = 64;
  static thread_local unsigned char buffers[Most][8192];
  mmsghdr in[Most] = {};
  mmsghdr out[Most] = {};
  iovec inVectors[Most], outVectors[Most];
  sockaddr_in from[Most];
  std::uint32_t wire[Most];
  for (unsigned i = 0; i < Most; ++i) {
    inVectors[i] = {buffers[i], sizeof buffers[i]};
    in[i].msg_hdr = {&from[i], sizeof from[i], &inVectors[i], 1, nullptr, 0, 0};
  }
  const int count = recvmmsg(fd, in, Most, MSG_WAITFORONE, nullptr);
  if (count <= 0) return;
  for (int i = 0; i < count; ++i) {
    wire[i] = htonl(TIdCustomTimeUDPServer::TimeValue(Now(), UtcBias(), 2.0));
    outVectors[i] = {&wire[i], sizeof wire[i]};
    out[i].msg_hdr = {&from[i], in[i].msg_hdr.msg_namelen, &outVectors[i], 1, nullptr, 0, 0};
  }
  sendmmsg(fd, out, static_cast<unsigned>(count), 0);
}
