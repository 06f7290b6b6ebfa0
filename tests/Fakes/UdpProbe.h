// SPDX-License-Identifier: MIT
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "Fakes/FakeSocket.h"
#include "Fakes/FakeUdpServer.h"

namespace KestrineTest {

// A plain UDP socket on 127.0.0.1 standing for the other side of a test: a client
// of a server under test, a stray sender, or a holder of a port. Throws when it
// cannot bind.
class UdpProbe {
public:
  explicit UdpProbe(std::uint16_t port = 0);
  ~UdpProbe();
  UdpProbe(const UdpProbe&) = delete;
  UdpProbe& operator=(const UdpProbe&) = delete;

  std::uint16_t Port() const { return FPort; }

  // One datagram to 127.0.0.1:port; whether it left whole.
  bool Send(const Bytes& data, std::uint16_t port);
  // One datagram within the time-out, and its sender's port. `between` runs between
  // waits of a millisecond: a test on the window's thread pumps its queue there.
  std::optional<Bytes> Receive(std::chrono::milliseconds timeout, std::uint16_t* fromPort = nullptr,
                               const std::function<void()>& between = {});

private:
  FakeSocket::Handle FSocket = FakeSocket::NoSocket;
  std::uint16_t FPort = 0;
  std::unique_ptr<FakeSocket::Waiter> FWaiter;
};

}  // namespace KestrineTest
