// SPDX-License-Identifier: MIT
#include "Platform/PortRight.h"

#include <winsock2.h>

#include <cstring>

namespace Platform {

// Windows reserves no ports for a right: the Time server binds as any user.
int BindSocket(TSocketId socket, const TIPv4Address& address, std::uint16_t port) {
  sockaddr_in native{};
  native.sin_family = AF_INET;
  native.sin_port = htons(port);
  std::memcpy(&native.sin_addr, address.data(), address.size());  // both in network order
  if (::bind(static_cast<SOCKET>(socket), reinterpret_cast<const sockaddr*>(&native), sizeof native) != 0)
    return WSAGetLastError();
  return 0;
}

int BoundAddress(TSocketId socket, TIPv4Address& address, std::uint16_t& port) {
  sockaddr_in native{};
  int length = sizeof native;
  if (::getsockname(static_cast<SOCKET>(socket), reinterpret_cast<sockaddr*>(&native), &length) != 0)
    return WSAGetLastError();
  std::memcpy(address.data(), &native.sin_addr, address.size());
  port = ntohs(native.sin_port);
  return 0;
}

void ReleaseSocket(TSocketId) {}

}  // namespace Platform
