// SPDX-License-Identifier: MIT
// Arbitrary bytes as a Time protocol (RFC 868) server's reply: the seconds with
// the bytes it lacks as zero, and their conversion to local time.
//
// Input: half the trip in ms (4 bytes, big-endian), a flag byte (bit 0: a base
// date of its own, the 8 bytes of a double that follow; otherwise the program's
// 1900-01-01), then the datagram.
#include <cmath>
#include <cstring>
#include <vector>

#include "FuzzCheck.h"
#include "Protocols/IdTimeUDP.h"
#include "System/IdGlobal.h"

using namespace KestrineFuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TReader in(data, size);
  const std::uint32_t halfTripMs = in.BE32();
  TDateTime baseDate = NtpEpoch;
  if ((in.Byte() & 1) != 0) {
    std::uint8_t bytes[sizeof(double)];
    for (auto& b : bytes) b = in.Byte();
    std::memcpy(&baseDate, bytes, sizeof bytes);
  }
  // Exactly the datagram's bytes on the heap: ASan sees any read past them.
  const std::vector<std::uint8_t> reply(in.Rest(), in.Rest() + in.RestSize());

  const std::uint32_t seconds = TimeReplySeconds(reply.data(), reply.size());
  std::uint32_t expected = 0;
  for (std::size_t i = 0; i < 4; ++i)
    expected |= static_cast<std::uint32_t>(i < reply.size() ? reply[i] : 0) << (24 - 8 * i);
  FUZZ_CHECK(seconds == expected);

  const TDateTime time = TimeReplyToLocal(seconds, baseDate, halfTripMs);
  if (seconds == 0) {
    FUZZ_CHECK(time == 0.0);
    return 0;
  }
  if (!std::isfinite(baseDate) || std::fabs(baseDate) > 1e7) return 0;  // no day a user can mean
  FUZZ_CHECK(std::isfinite(time));
  // Whole seconds since midnight of the base date (UTC), half the trip included.
  const double fromBase = (time + UtcBias() - std::trunc(baseDate)) * SecsPerDay;
  const double expectedSeconds = static_cast<double>(EraSeconds(seconds) + halfTripMs / 1000);
  FUZZ_CHECK(std::fabs(fromBase - expectedSeconds) < 0.01);
  // A slower trip never gives an earlier time.
  if (halfTripMs <= 0xFFFFFFFFu - 1000) FUZZ_CHECK(TimeReplyToLocal(seconds, baseDate, halfTripMs + 1000) > time);
  return 0;
}
