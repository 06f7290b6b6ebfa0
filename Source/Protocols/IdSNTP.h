// SPDX-License-Identifier: MIT
#pragma once
#include <array>
#include <cstdint>

#include "Core/IdUDPBase.h"
#include "Protocols/IdRequestPacer.h"
#include "System/IdGlobal.h"

// The SNTP datagram; 48 bytes on the wire, every multi-byte field big-endian.
struct TNTPGram {
  std::uint8_t LeapVersionMode = 0;  // bits 7-6 leap indicator, 5-3 version, 2-0 mode
  std::uint8_t Stratum = 0;
  std::uint8_t Poll = 0;
  std::int8_t Precision = 0;
  std::uint32_t RootDelay = 0;
  std::uint32_t RootDispersion = 0;
  std::uint32_t ReferenceId = 0;
  std::uint32_t ReferenceSeconds = 0;
  std::uint32_t ReferenceFraction = 0;
  std::uint32_t OriginateSeconds = 0;
  std::uint32_t OriginateFraction = 0;
  std::uint32_t ReceiveSeconds = 0;
  std::uint32_t ReceiveFraction = 0;
  std::uint32_t TransmitSeconds = 0;
  std::uint32_t TransmitFraction = 0;
};

constexpr std::size_t NTPGramSize = 48;

// Seconds since 1900-01-01 00:00 UTC and a fraction in units of 2^-32 s.
struct TNtpStamp {
  std::uint32_t Seconds = 0;
  std::uint32_t Fraction = 0;
};

std::array<std::uint8_t, NTPGramSize> PackGram(const TNTPGram& gram);
TNTPGram UnpackGram(const std::uint8_t* bytes);  // reads exactly 48 bytes
bool RejectReply(const TNTPGram& gram);

// Both read UtcBias once. Sending wraps at 2036-02-07 06:28:16 UTC; on reading, a
// count whose highest bit is clear lies after that instant (the next era).
TNtpStamp LocalToNtpStamp(TDateTime t);
TDateTime NtpStampToLocal(std::uint32_t seconds, std::uint32_t fraction);

// What one datagram from the server means to a query whose request carried `sent`.
// A full-size reply that does not echo `sent` as its originate stamp answers some
// other request: matched is false and the query waits on. Anything else ends the
// query (matched is true) with the server's time as local time, or with 0.0 when the
// datagram is shorter than a reply or RejectReply refuses it.
TDateTime EvaluateSntpReply(const std::uint8_t* data, std::size_t length, TNtpStamp sent, bool& matched);

// How long the program waits for a server's answer to one SNTP request, in ms.
inline constexpr int SntpReceiveTimeoutMs = 10000;

class TIdSNTP : public TIdUDPClient {
public:
  TIdSNTP() { SetPort(123); }
  // The server's time as local time; 0.0 when no usable reply came. A reply counts
  // only if it comes from Host:Port and echoes our transmit time stamp.
  TDateTime QueryTime();
  void Shutdown() noexcept override;

  TIdRequestPacer* Pacer = &TIdRequestPacer::Default();
};
