// SPDX-License-Identifier: MIT
#include "Protocols/IdExchange.h"

#include <algorithm>

#include "System/IdDottedQuad.h"
#include "System/IdException.h"

std::string PlainAddress(const std::string& address) {
  const auto parts = ParseDottedQuad(address);
  return parts ? DottedQuadText(*parts) : address;
}

bool IsFromServer(const std::string& peerIP, int peerPort, const std::string& address, int port) {
  return peerIP == address && peerPort == port;
}

void TIdExchange::Prepare() {
  FAddress = PlainAddress(TIdStack::Instance().ResolveAddress(FClient.GetHost(), FClient.GetIPVersion()));
  if (!FPacer.WaitTurn(FAddress, [this] { return FClient.IsShutdown(); })) throw EIdConnClosedGracefully();
  // Only now: a late answer to the last query may have come in during the wait.
  FClient.AcquireBinding().DiscardPending();
}

void TIdExchange::Send(const TIdBytes& request) {
  FClient.SendTo(FAddress, FClient.GetPort(), request);
  FPacer.Sent(FAddress);
  FUnlimited = FClient.ReceiveTimeout <= 0;
  FDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(FClient.ReceiveTimeout, 0));
}

int TIdExchange::RemainingMs() const {
  if (FUnlimited) return IdTimeoutInfinite;
  // Rounded up: 0 only once the deadline has passed.
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(FDeadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

bool TIdExchange::Receive(TIdBytes& buffer, std::size_t& length) {
  const std::size_t size = buffer.size();
  for (;;) {
    // A deadline, not a time-out per datagram: a stream of foreign datagrams would
    // otherwise keep the query alive as long as it lasts.
    const int remaining = RemainingMs();
    if (remaining == 0) return false;
    std::string peerIP;
    int peerPort = 0;
    std::fill(buffer.begin(), buffer.end(), 0);
    try {
      length = FClient.ReceiveFrom(buffer, peerIP, peerPort, remaining);
    } catch (const EIdSocketError& error) {
      // Too long for the buffer: a failure only if the server itself sent it.
      if (error.ErrorNumber() == Id_WSAEMSGSIZE && !IsFromServer(peerIP, peerPort, FAddress, FClient.GetPort()))
        continue;
      throw;
    }
    if (peerIP.empty() && length == 0) return false;
    if (IsFromServer(peerIP, peerPort, FAddress, FClient.GetPort())) return true;
    buffer.resize(size);
  }
}
