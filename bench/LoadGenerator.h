// SPDX-License-Identifier: MIT
#pragma once
#include <chrono>
#include <cstdint>
#include <vector>

// A bounded RFC 868 load on loopback: Sockets client sockets, each keeping InFlight
// requests outstanding, for Duration. A request not answered within LossTimeout
// counts as lost and is replaced.
struct TLoadSettings {
  int Sockets = 8;
  int InFlight = 16;
  std::chrono::milliseconds Duration{3000};
  std::chrono::milliseconds LossTimeout{200};
  std::uint16_t Port = 0;
};

struct TLoadResult {
  std::uint64_t Sent = 0;
  std::uint64_t Replies = 0;
  std::uint64_t Lost = 0;
  double Seconds = 0;
  std::vector<double> LatencyMicros;  // a sample of the replies' round trips
  double RepliesPerSecond() const { return Seconds > 0 ? static_cast<double>(Replies) / Seconds : 0; }
};

TLoadResult RunLoad(const TLoadSettings& settings);
// The ceiling: one bare server step on a bound socket, taking every datagram
// waiting (up to 64) in one call and sending every reply in one call.
void ServeTimeBatch(int fd);
double Percentile(std::vector<double> values, double p);
