#pragma once
#include <chrono>
#include <cstddef>
#include <string>

#include "Core/IdUDPBase.h"
#include "Protocols/IdRequestPacer.h"

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
