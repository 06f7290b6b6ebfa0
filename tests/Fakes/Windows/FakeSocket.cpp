// SPDX-License-Identifier: MIT
#include "Fakes/FakeSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <mutex>
#include <stdexcept>

namespace KestrineTest::FakeSocket {
namespace {

// Winsock must be started once per process before its first call; it stays up
// until the process ends.
void StartWinsock() {
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data{};
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("FakeUdpServer: WSAStartup failed");
  });
}

sockaddr_in ToAddress(const Endpoint& endpoint) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(endpoint.Port);
  address.sin_addr.s_addr = htonl(endpoint.Address);
  return address;
}

SOCKET Sock(Handle socket) { return static_cast<SOCKET>(socket); }

}  // namespace

void Fail(const std::string& what) {
  throw std::runtime_error("FakeUdpServer: " + what + ": Windows Sockets error " + std::to_string(WSAGetLastError()));
}

Endpoint MakeEndpoint(const std::string& ip, std::uint16_t port) {
  StartWinsock();
  in_addr address{};
  if (inet_pton(AF_INET, ip.c_str(), &address) != 1)
    throw std::runtime_error("FakeUdpServer: not an IPv4 address: " + ip);
  return {ntohl(address.s_addr), port};
}

std::string AddressText(std::uint32_t address) {
  StartWinsock();
  in_addr in{};
  in.s_addr = htonl(address);
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &in, text, sizeof text);
  return text;
}

Handle BoundSocket(const Endpoint& at) {
  StartWinsock();
  const SOCKET socket = ::WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (socket == INVALID_SOCKET) Fail("socket");
  const sockaddr_in address = ToAddress(at);
  if (::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = WSAGetLastError();
    ::closesocket(socket);
    WSASetLastError(error);
    Fail("bind " + AddressText(at.Address) + ":" + std::to_string(at.Port));
  }
  return static_cast<Handle>(socket);
}

std::uint16_t LocalPort(Handle socket) {
  sockaddr_in address{};
  int length = sizeof address;
  if (::getsockname(Sock(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0) Fail("getsockname");
  return ntohs(address.sin_port);
}

void Close(Handle socket) {
  if (socket != NoSocket) ::closesocket(Sock(socket));
}

bool SendTo(Handle socket, const std::uint8_t* data, std::size_t size, const Endpoint& to) {
  const sockaddr_in address = ToAddress(to);
  return ::sendto(Sock(socket), reinterpret_cast<const char*>(data), static_cast<int>(size), 0,
                  reinterpret_cast<const sockaddr*>(&address), sizeof address) == static_cast<int>(size);
}

// The socket is non-blocking once it is tied to an event (see Waiter). A port
// unreachable arrives here as WSAECONNRESET and is read away like any failure.
std::ptrdiff_t ReceiveFrom(Handle socket, std::uint8_t* buffer, std::size_t size, Endpoint& from) {
  sockaddr_in address{};
  int length = sizeof address;
  const int received = ::recvfrom(Sock(socket), reinterpret_cast<char*>(buffer), static_cast<int>(size), 0,
                                  reinterpret_cast<sockaddr*>(&address), &length);
  if (received == SOCKET_ERROR) return -1;
  from = {ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
  return received;
}

// One event for the socket's datagrams (WSAEventSelect), one that only Wake sets.
struct Waiter::Impl {
  SOCKET Socket = INVALID_SOCKET;
  WSAEVENT Events[2] = {WSA_INVALID_EVENT, WSA_INVALID_EVENT};  // wake first: it wins
};

Waiter::Waiter(Handle socket) : FImpl(std::make_unique<Impl>()) {
  FImpl->Socket = Sock(socket);
  for (WSAEVENT& event : FImpl->Events)
    if ((event = WSACreateEvent()) == WSA_INVALID_EVENT) Fail("WSACreateEvent");
  if (WSAEventSelect(FImpl->Socket, FImpl->Events[1], FD_READ) != 0) Fail("WSAEventSelect");
}

Waiter::~Waiter() {
  for (const WSAEVENT event : FImpl->Events)
    if (event != WSA_INVALID_EVENT) WSACloseEvent(event);
}

Waiter::Result Waiter::Wait(int timeoutMs) {
  const DWORD result = WSAWaitForMultipleEvents(2, FImpl->Events, FALSE,
                                                timeoutMs < 0 ? WSA_INFINITE : static_cast<DWORD>(timeoutMs), FALSE);
  if (result == WSA_WAIT_EVENT_0) return Result::Woken;
  if (result == WSA_WAIT_EVENT_0 + 1) {
    // Clears the event; the next recvfrom records FD_READ again while datagrams wait.
    WSANETWORKEVENTS events{};
    if (WSAEnumNetworkEvents(FImpl->Socket, FImpl->Events[1], &events) != 0) return Result::Failed;
    return Result::Readable;
  }
  if (result == WSA_WAIT_TIMEOUT) return Result::Nothing;
  return Result::Failed;
}

void Waiter::Wake() { WSASetEvent(FImpl->Events[0]); }

}  // namespace KestrineTest::FakeSocket
