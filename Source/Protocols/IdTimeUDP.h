// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>

#include "Core/IdUDPBase.h"
#include "Protocols/IdRequestPacer.h"
#include "System/IdGlobal.h"

// The seconds of a reply: its first four bytes big-endian, the bytes it lacks zero.
std::uint32_t TimeReplySeconds(const std::uint8_t* data, std::size_t length);
// Those seconds as local time: counted from midnight of baseDate's day (a UTC
// date) under the era rule of EraSeconds, and halfTripMs added in whole seconds.
// 0.0 for 0, which stands for no reply.
TDateTime TimeReplyToLocal(std::uint32_t seconds, TDateTime baseDate, std::uint32_t halfTripMs);

// How long the program waits for a server's answer to one Time protocol request, in ms.
inline constexpr int TimeUDPReceiveTimeoutMs = 10000;

// Time protocol (RFC 868) client over UDP: an empty request, a 4-byte reply of
// seconds since 1900-01-01 00:00 UTC.
class TIdCustomTimeUDP : public TIdUDPClient {
public:
  TIdCustomTimeUDP() { SetPort(37); }

  TDateTime BaseDate = NtpEpoch;
  std::uint32_t HalfTripMs = 0;  // half the duration of the last exchange

  // The seconds of the reply, or 0 when none came from Host:Port in time.
  std::uint32_t QueryTimeSeconds();
  // The server's time as local time, or 0.0 when QueryTimeSeconds gave 0.
  TDateTime QueryTime();
  void Shutdown() noexcept override;

  TIdRequestPacer* Pacer = &TIdRequestPacer::Default();
};

class TIdTimeUDP : public TIdCustomTimeUDP {};
