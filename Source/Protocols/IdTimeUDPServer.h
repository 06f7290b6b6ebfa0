// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>

#include "Core/IdUDPServer.h"
#include "System/IdGlobal.h"

// Time protocol (RFC 868) server over UDP: every datagram is answered with the
// seconds since BaseDate (UTC) as 4 bytes, most significant first.
class TIdCustomTimeUDPServer : public TIdUDPServer {
public:
  TIdCustomTimeUDPServer() { SetDefaultPort(37); }

  TDateTime BaseDate = NtpEpoch;

  void DispatchDatagram(const TIdBytes& data, TIdSocketHandle& binding) override;
  // The reply's value for a local time: whole seconds since the day of BaseDate, UTC,
  // truncated and wrapped to 32 bits.
  static std::uint32_t TimeValue(TDateTime localNow, TDateTime utcBias, TDateTime baseDate);
  // Sources never answered: the ports of echo, discard, daytime, chargen and time
  // (answering those can start an endless exchange between two servers), and the
  // server itself.
  static bool IsRefusedSource(const TIdSocketHandle& binding);
};

class TIdTimeUDPServer : public TIdCustomTimeUDPServer {};
