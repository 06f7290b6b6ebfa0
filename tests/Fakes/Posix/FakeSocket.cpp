// SPDX-License-Identifier: MIT
#include "Fakes/FakeSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace KestrineTest::FakeSocket {
namespace {

sockaddr_in ToAddress(const Endpoint& endpoint) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(endpoint.Port);
  address.sin_addr.s_addr = htonl(endpoint.Address);
  return address;
}

int Fd(Handle socket) { return static_cast<int>(socket); }

}  // namespace

void Fail(const std::string& what) { throw std::runtime_error("FakeUdpServer: " + what + ": " + std::strerror(errno)); }

Endpoint MakeEndpoint(const std::string& ip, std::uint16_t port) {
  in_addr address{};
  if (inet_pton(AF_INET, ip.c_str(), &address) != 1)
    throw std::runtime_error("FakeUdpServer: not an IPv4 address: " + ip);
  return {ntohl(address.s_addr), port};
}

std::string AddressText(std::uint32_t address) {
  const in_addr in{htonl(address)};
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &in, text, sizeof text);
  return text;
}

Handle BoundSocket(const Endpoint& at) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) Fail("socket");
  const sockaddr_in address = ToAddress(at);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    Fail("bind " + AddressText(at.Address) + ":" + std::to_string(at.Port));
  }
  return fd;
}

std::uint16_t LocalPort(Handle socket) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (::getsockname(Fd(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0) Fail("getsockname");
  return ntohs(address.sin_port);
}

void Close(Handle socket) {
  if (socket != NoSocket) ::close(Fd(socket));
}

bool SendTo(Handle socket, const std::uint8_t* data, std::size_t size, const Endpoint& to) {
  const sockaddr_in address = ToAddress(to);
  return ::sendto(Fd(socket), data, size, 0, reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
         static_cast<ssize_t>(size);
}

std::ptrdiff_t ReceiveFrom(Handle socket, std::uint8_t* buffer, std::size_t size, Endpoint& from) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  const ssize_t received =
      ::recvfrom(Fd(socket), buffer, size, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&address), &length);
  if (received < 0) return -1;
  from = {ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
  return received;
}

// poll on the socket and a pipe that only Wake writes to.
struct Waiter::Impl {
  int Socket = -1;
  int Pipe[2] = {-1, -1};
};

Waiter::Waiter(Handle socket) : FImpl(std::make_unique<Impl>()) {
  FImpl->Socket = Fd(socket);
  if (::pipe2(FImpl->Pipe, O_CLOEXEC) != 0) Fail("pipe2");
}

Waiter::~Waiter() {
  for (const int fd : FImpl->Pipe)
    if (fd >= 0) ::close(fd);
}

Waiter::Result Waiter::Wait(int timeoutMs) {
  pollfd set[2] = {{FImpl->Socket, POLLIN, 0}, {FImpl->Pipe[0], POLLIN, 0}};
  if (::poll(set, 2, timeoutMs) < 0 && errno != EINTR) return Result::Failed;
  if (set[1].revents != 0) return Result::Woken;
  // A pending socket error counts as readable, so that it is read away.
  if (set[0].revents != 0) return Result::Readable;
  return Result::Nothing;
}

void Waiter::Wake() {
  const char wake = 1;
  while (::write(FImpl->Pipe[1], &wake, 1) < 0 && errno == EINTR) {
  }
}

}  // namespace KestrineTest::FakeSocket
