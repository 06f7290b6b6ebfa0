// SPDX-License-Identifier: MIT
#pragma once
#include <array>
#include <cstdint>

// The right to bind a port below 1024, and the one place that knows who holds
// it. The socket stack binds, names and closes its sockets through here. On
// Linux the program holds no right to such a port: the one it binds is the
// Time protocol's, and where the system refuses the program that port, the
// port helper (cap_net_bind_service) serves the Time protocol on it itself,
// while the program's socket stands for it. On Windows any user may bind it.
namespace Platform {

// An IPv4 address as its four numbers, most significant first (network order);
// all zeros is every local address.
using TIPv4Address = std::array<std::uint8_t, 4>;
// The system's socket: a descriptor on Linux, a SOCKET on Windows.
using TSocketId = std::intptr_t;

// Binds the datagram socket to address and port (port in host order). Returns
// 0, or the system's error number (errno on Linux, a Windows Sockets error on
// Windows): the program's own refusal where the helper cannot serve the port.
int BindSocket(TSocketId socket, const TIPv4Address& address, std::uint16_t port);
// The address and port the socket is bound to, or stands for. Returns 0 or the
// system's error number.
int BoundAddress(TSocketId socket, TIPv4Address& address, std::uint16_t& port);
// Call before the socket is closed: a helper serving for it stops.
void ReleaseSocket(TSocketId socket);

}  // namespace Platform
