#include "Protocols/IdExchange.h"

#include <algorithm>

#include "System/IdException.h"

void TIdExchange::Prepare() {
  FClient.AcquireBinding().DiscardPending();
  FAddress = TIdStack::Instance().ResolveAddress(FClient.GetHost(), FClient.GetIPVersion());
  if (!FPacer.WaitTurn(FAddress, [this] { return FClient.IsShutdown(); })) throw EIdConnClosedGracefully();
}

void TIdExchange::Send(const TIdBytes& request) {
  FClient.SendTo(FAddress, FClient.GetPort(), request);
  FPacer.Sent(FAddress);
  FUnlimited = FClient.ReceiveTimeout <= 0;
  FDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(FClient.ReceiveTimeout, 0));
}

int TIdExchange::RemainingMs() const {
  if (FUnlimited) return IdTimeoutInfinite;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(FDeadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

bool TIdExchange::Receive(TIdBytes& buffer, std::size_t& length) {
  const std::size_t size = buffer.size();
  for (;;) {
    std::string peerIP;
    int peerPort = 0;
    std::fill(buffer.begin(), buffer.end(), 0);
    try {
      length = FClient.ReceiveFrom(buffer, peerIP, peerPort, RemainingMs());
    } catch (const EIdSocketError& error) {
      // Too long for the buffer: a failure only if the server itself sent it.
      if (error.ErrorNumber() == Id_WSAEMSGSIZE && (peerIP != FAddress || peerPort != FClient.GetPort())) continue;
      throw;
    }
    if (peerIP.empty() && length == 0) return false;
    if (peerIP == FAddress && peerPort == FClient.GetPort()) return true;
    buffer.resize(size);
  }
}
