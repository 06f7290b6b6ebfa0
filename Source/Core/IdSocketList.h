// SPDX-License-Identifier: MIT
#pragma once
#include <cstddef>
#include <mutex>
#include <vector>

#include "System/IdStack.h"

// Up to 64 sockets that can be waited on together. Every operation holds the list's lock.
class TIdSocketList {
public:
  static constexpr std::size_t MaxSockets = 64;

  void AddSocket(TIdStackSocketHandle socket);
  std::size_t SocketCount() const;
  TIdStackSocketHandle SocketAt(std::size_t index) const;
  // Waits on a copy of the set, so the list keeps all its sockets.
  bool WaitAnyReadable(int timeoutMs) const;

private:
  mutable std::mutex FLock;
  std::vector<TIdStackSocketHandle> FSockets;
};
