// SPDX-License-Identifier: MIT
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// The few socket calls of the fake servers: one side per OS (Posix/, Windows/),
// chosen by CMake. Failures throw std::runtime_error("FakeUdpServer: ...").
namespace KestrineTest::FakeSocket {

// A descriptor or a SOCKET, whichever the OS hands out.
using Handle = std::intptr_t;
constexpr Handle NoSocket = -1;

// An IPv4 address and port, both in host byte order.
struct Endpoint {
  std::uint32_t Address = 0;
  std::uint16_t Port = 0;
};

// Throws when ip is not a dotted IPv4 address.
Endpoint MakeEndpoint(const std::string& ip, std::uint16_t port);
std::string AddressText(std::uint32_t address);

// A UDP socket bound to `at` (port 0: the system chooses).
Handle BoundSocket(const Endpoint& at);
std::uint16_t LocalPort(Handle socket);
void Close(Handle socket);

// Whether the whole datagram went out; on false, Fail describes why.
bool SendTo(Handle socket, const std::uint8_t* data, std::size_t size, const Endpoint& to);
// One waiting datagram, never blocking: its length, or -1 when there was none or
// a pending socket error (a port unreachable) was read away instead.
std::ptrdiff_t ReceiveFrom(Handle socket, std::uint8_t* buffer, std::size_t size, Endpoint& from);

// Throws with the last socket error's text.
[[noreturn]] void Fail(const std::string& what);

// Waits for a datagram on one socket, or for Wake from another thread.
class Waiter {
public:
  enum class Result { Readable, Woken, Nothing, Failed };

  explicit Waiter(Handle socket);
  ~Waiter();
  Waiter(const Waiter&) = delete;
  Waiter& operator=(const Waiter&) = delete;

  // timeoutMs -1 waits without limit. Woken wins over Readable; Nothing is a
  // time-out or an interrupted wait.
  Result Wait(int timeoutMs);
  void Wake();

private:
  struct Impl;
  std::unique_ptr<Impl> FImpl;
};

}  // namespace KestrineTest::FakeSocket
