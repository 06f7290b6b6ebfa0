// SPDX-License-Identifier: MIT
#include "Platform/WakeEvent.h"

#include <winsock2.h>

namespace Platform {

// A datagram socket on the loopback interface, connected to itself: Signal sends
// it one byte, Clear reads them all. A socket is what a toolkit's socket notifier
// can watch on Windows (an event handle is not). Windows handle values fit in 32
// bits, so Handle() carries the socket as it is. -1 when no socket could be made.
TWakeEvent::TWakeEvent() {
  WSADATA data{};
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
  const SOCKET wake = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  u_long nonBlocking = 1;
  if (wake != INVALID_SOCKET && bind(wake, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(wake, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
      connect(wake, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
      ioctlsocket(wake, FIONBIO, &nonBlocking) == 0) {
    SetHandleInformation(reinterpret_cast<HANDLE>(wake), HANDLE_FLAG_INHERIT, 0);
    FHandle = static_cast<int>(wake);
    return;
  }
  if (wake != INVALID_SOCKET) closesocket(wake);
  WSACleanup();
}

TWakeEvent::~TWakeEvent() {
  if (FHandle < 0) return;
  closesocket(static_cast<SOCKET>(FHandle));
  WSACleanup();
}

void TWakeEvent::Signal() {
  const char byte = 1;
  send(static_cast<SOCKET>(FHandle), &byte, 1, 0);  // a full buffer is awake anyway
}

void TWakeEvent::Clear() {
  char buffer[64];
  while (recv(static_cast<SOCKET>(FHandle), buffer, sizeof buffer, 0) > 0) {
  }
}

}  // namespace Platform
