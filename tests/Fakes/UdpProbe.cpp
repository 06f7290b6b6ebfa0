// SPDX-License-Identifier: MIT
#include "Fakes/UdpProbe.h"

#include <algorithm>

namespace KestrineTest {

UdpProbe::UdpProbe(std::uint16_t port) {
  FSocket = FakeSocket::BoundSocket(FakeSocket::MakeEndpoint("127.0.0.1", port));
  try {
    FPort = FakeSocket::LocalPort(FSocket);
    FWaiter = std::make_unique<FakeSocket::Waiter>(FSocket);
  } catch (...) {
    FakeSocket::Close(FSocket);
    throw;
  }
}

UdpProbe::~UdpProbe() {
  FWaiter.reset();
  FakeSocket::Close(FSocket);
}

bool UdpProbe::Send(const Bytes& data, std::uint16_t port) {
  return FakeSocket::SendTo(FSocket, data.data(), data.size(), FakeSocket::MakeEndpoint("127.0.0.1", port));
}

std::optional<Bytes> UdpProbe::Receive(std::chrono::milliseconds timeout, std::uint16_t* fromPort,
                                       const std::function<void()>& between) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (between) between();
    Bytes data(65536);
    FakeSocket::Endpoint from;
    const auto n = FakeSocket::ReceiveFrom(FSocket, data.data(), data.size(), from);
    if (n >= 0) {
      data.resize(static_cast<std::size_t>(n));
      if (fromPort) *fromPort = from.Port;
      return data;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return std::nullopt;
    FWaiter->Wait(between ? 1 : static_cast<int>(std::min<long long>(left, 1000)));
  }
}

}  // namespace KestrineTest
