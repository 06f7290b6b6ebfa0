// SPDX-License-Identifier: MIT
#include "Core/IdSocketList.h"

#include "System/IdException.h"

void TIdSocketList::AddSocket(TIdStackSocketHandle socket) {
  std::lock_guard guard(FLock);
  if (FSockets.size() >= MaxSockets) throw EIdStackSetSizeExceeded();
  FSockets.push_back(socket);
}

std::size_t TIdSocketList::SocketCount() const {
  std::lock_guard guard(FLock);
  return FSockets.size();
}

TIdStackSocketHandle TIdSocketList::SocketAt(std::size_t index) const {
  std::lock_guard guard(FLock);
  if (index >= FSockets.size()) throw EIdStackSetSizeExceeded();
  return FSockets[index];
}

bool TIdSocketList::WaitAnyReadable(int timeoutMs) const {
  std::vector<TIdStackSocketHandle> copy;
  {
    std::lock_guard guard(FLock);
    copy = FSockets;
  }
  return TIdStack::Instance().WaitReadable(copy, timeoutMs);
}
