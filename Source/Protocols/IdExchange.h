// SPDX-License-Identifier: MIT
#pragma once
#include <chrono>
#include <cstddef>
#include <string>

#include "Core/IdUDPBase.h"
#include "Protocols/IdRequestPacer.h"

// The dotted-quad rule allows blanks and leading zeros, but a reply names its sender
// in plain dotted-decimal form: replies are matched and paced in that form. Other
// text is returned as it is.
std::string PlainAddress(const std::string& address);
// Whether a datagram from peerIP:peerPort comes from the server at address:port
// (address in plain form).
bool IsFromServer(const std::string& peerIP, int peerPort, const std::string& address, int port);

// One request and its reply for a time client. Only a datagram from the address
// and port the request went to counts as a reply; anything else (a late answer to
// an earlier query, a forged datagram) is ignored while the time-out runs on.
class TIdExchange {
public:
  TIdExchange(TIdUDPClient& client, TIdRequestPacer& pacer) : FClient(client), FPacer(pacer) {}

  // Resolves the host, waits for the pacer, then drops datagrams already waiting.
  void Prepare();
  void Send(const TIdBytes& request);
  // Waits for the next datagram from the server within the rest of the client's
  // ReceiveTimeout (measured from Send). False on time-out; the buffer then keeps its size.
  bool Receive(TIdBytes& buffer, std::size_t& length);

private:
  int RemainingMs() const;

  TIdUDPClient& FClient;
  TIdRequestPacer& FPacer;
  std::string FAddress;
  std::chrono::steady_clock::time_point FDeadline;
  bool FUnlimited = true;
};
