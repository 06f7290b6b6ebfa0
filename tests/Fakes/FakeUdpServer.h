// SPDX-License-Identifier: MIT
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace KestrineTest {

using Bytes = std::vector<std::uint8_t>;

struct Datagram {
  Bytes Data;
  std::string FromIP;
  std::uint16_t FromPort = 0;
  std::chrono::steady_clock::time_point Arrived;  // when the server read it
};

// What the server does with one request: zero or more replies, each after a delay,
// optionally sent from a second socket (another source port) instead of the server's own.
struct Reply {
  Bytes Data;
  std::chrono::milliseconds Delay{0};
  bool FromOtherPort = false;
};

// A UDP server on a loopback address, serving on a thread of its own until destroyed.
class FakeUdpServer {
public:
  using Handler = std::function<std::vector<Reply>(const Datagram& request)>;
  // port 0 lets the system choose; ip may be any address on lo (see AddLoopbackAddress).
  // Under Wine only 127.0.0.1 works: answers from other 127/8 addresses never reach the client.
  FakeUdpServer(const std::string& ip, std::uint16_t port, Handler handler);
  ~FakeUdpServer();
  FakeUdpServer(const FakeUdpServer&) = delete;
  FakeUdpServer& operator=(const FakeUdpServer&) = delete;

  std::uint16_t Port() const;
  const std::string& IP() const;
  std::vector<Datagram> Requests() const;  // every datagram received so far
  int RequestCount() const;
  // Blocks until n requests have arrived or the time-out passes; true if they did.
  bool WaitForRequests(int n, std::chrono::milliseconds timeout) const;
  // Sends from the server's own socket (e.g. a stale or unasked-for datagram).
  void SendTo(const Bytes& data, const std::string& ip, std::uint16_t port);

private:
  struct Impl;
  Impl* FImpl;
};

// SNTP helpers. NtpNow gives the current UTC time as an NTP stamp shifted by
// shiftSeconds (positive: the server is ahead of this machine).
struct NtpStamp {
  std::uint32_t Seconds = 0;
  std::uint32_t Fraction = 0;
};
NtpStamp NtpNow(double shiftSeconds = 0.0);
// A 48-byte reply to request: byte 0 lvm, stratum, originate = request's transmit
// stamp (bytes 40..47 copied to 24..31), transmit = the given stamp.
Bytes SntpReply(const Bytes& request, NtpStamp transmit, std::uint8_t stratum = 1, std::uint8_t lvm = 0x1C);
// A handler answering every SNTP request with the current time shifted by shiftSeconds.
FakeUdpServer::Handler SntpHandler(double shiftSeconds = 0.0);
// A handler answering every datagram with the 4-byte RFC 868 time shifted by shiftSeconds.
FakeUdpServer::Handler TimeProtocolHandler(double shiftSeconds = 0.0);
// A handler that never answers.
FakeUdpServer::Handler SilentHandler();

}  // namespace KestrineTest
