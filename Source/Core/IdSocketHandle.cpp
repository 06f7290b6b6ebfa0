// SPDX-License-Identifier: MIT
#include "Core/IdSocketHandle.h"

#include "System/IdException.h"

// Marks one call in progress on the handle's socket; see the class comment.
class TIdSocketHandle::TUse {
public:
  TUse(TIdSocketHandle& handle, bool forWait) : FHandle(handle) {
    std::lock_guard guard(handle.FHandleLock);
    if (!handle.FHasSocket) {
      if (forWait) throw EIdConnClosedGracefully();
      TIdStack::RaiseSocketError(Id_WSAENOTSOCK);
    }
    FSocket = handle.FSocketHandle;
    FList = handle.FReadList;
    ++handle.FCallsInProgress;
  }

  ~TUse() {
    std::lock_guard guard(FHandle.FHandleLock);
    if (--FHandle.FCallsInProgress == 0) {
      for (const auto socket : FHandle.FClosePending) TIdStack::Instance().Close(socket);
      FHandle.FClosePending.clear();
    }
  }

  TIdStackSocketHandle Socket() const { return FSocket; }
  const TIdSocketList& List() const { return *FList; }

  // True when CloseSocketHandle ran while the call was in progress.
  bool ClosedMeanwhile() const { return !FHandle.FHasSocket || FHandle.FSocketHandle != FSocket; }
  void RaiseIfClosedMeanwhile() const {
    if (ClosedMeanwhile()) TIdStack::RaiseSocketError(Id_WSAEINTR);
  }

private:
  TIdSocketHandle& FHandle;
  TIdStackSocketHandle FSocket = Id_INVALID_SOCKET;
  std::shared_ptr<TIdSocketList> FList;
};

TIdSocketHandle::TIdSocketHandle() { TIdStack::IncUsage(); }

TIdSocketHandle::~TIdSocketHandle() {
  CloseSocketHandle();
  TIdStack::DecUsage();
}

void TIdSocketHandle::OpenSocket(int socketType, int protocol) {
  CloseSocketHandle();
  const auto socket = TIdStack::Instance().NewSocketHandle(socketType, protocol, IPVersion);
  auto list = std::make_shared<TIdSocketList>();
  list->AddSocket(socket);
  std::lock_guard guard(FHandleLock);
  FSocketHandle = socket;
  FReadList = std::move(list);
  FHasSocket = true;
}

void TIdSocketHandle::CloseSocketHandle() noexcept {
  std::lock_guard guard(FHandleLock);
  if (!FHasSocket) return;
  FHasSocket = false;
  const auto socket = FSocketHandle.exchange(Id_INVALID_SOCKET);
  FReadList.reset();
  if (FCallsInProgress > 0) {
    TIdStack::Instance().WakeBlockedCalls(socket);
    FClosePending.push_back(socket);  // the last call to leave closes it
  } else {
    TIdStack::Instance().Close(socket);
  }
}

void TIdSocketHandle::BindLocal() {
  TUse use(*this, false);
  auto& stack = TIdStack::Instance();
  if (Port != 0 || ClientPortMin == 0 || ClientPortMax == 0) {
    try {
      stack.Bind(use.Socket(), IP, Port, IPVersion);
    } catch (const EIdException&) {
      throw EIdCouldNotBindSocket();  // whatever the system's reason was
    }
  } else {
    if (ClientPortMin > ClientPortMax) throw EIdInvalidPortRange(ClientPortMin, ClientPortMax);
    // Port follows the search, so a failed one leaves it at ClientPortMin. The
    // test before the step keeps the count from running below the smallest integer.
    for (Port = ClientPortMax;; --Port) {
      try {
        stack.Bind(use.Socket(), IP, Port, IPVersion);
        break;
      } catch (const EIdException&) {
        if (Port == ClientPortMin) throw EIdCanNotBindPortInRange(ClientPortMin, ClientPortMax);
      }
    }
  }
  stack.GetSocketName(use.Socket(), IP, Port);
}

std::size_t TIdSocketHandle::SendDatagram(const std::string& address, int port, const TIdBytes& bytes,
                                          TIdIPVersion ipVersion) {
  TUse use(*this, false);
  try {
    return TIdStack::Instance().SendTo(use.Socket(), bytes.data(), bytes.size(), address, port, ipVersion);
  } catch (const EIdSocketError&) {
    use.RaiseIfClosedMeanwhile();
    throw;
  }
}

std::size_t TIdSocketHandle::ReceiveDatagram(TIdBytes& buffer, std::string& address, int& port,
                                             TIdIPVersion ipVersion) {
  TUse use(*this, false);
  std::size_t length = 0;
  try {
    length = TIdStack::Instance().ReceiveFrom(use.Socket(), buffer.data(), buffer.size(), address, port, ipVersion);
  } catch (const EIdSocketError&) {
    use.RaiseIfClosedMeanwhile();
    throw;
  }
  // A shut-down socket reads as an empty datagram: that is our own close, not data.
  if (length == 0) use.RaiseIfClosedMeanwhile();
  if (length > buffer.size()) TIdStack::RaiseSocketError(Id_WSAEMSGSIZE);
  return length;
}

std::size_t TIdSocketHandle::ReceiveDatagrams(TIdDatagramSlot* slots, std::size_t count) {
  TUse use(*this, false);
  std::size_t taken = 0;
  try {
    taken = TIdStack::Instance().ReceiveMany(use.Socket(), slots, count, IPVersion);
  } catch (const EIdSocketError&) {
    use.RaiseIfClosedMeanwhile();
    throw;
  }
  // A shut-down socket reads as empty datagrams: that is our own close, not data.
  use.RaiseIfClosedMeanwhile();
  return taken;
}

void TIdSocketHandle::SendDatagrams(TIdDatagramSlot* slots, std::size_t count) {
  TUse use(*this, false);
  TIdStack::Instance().SendMany(use.Socket(), slots, count, IPVersion);
}

std::size_t TIdSocketHandle::DiscardPending() {
  TUse use(*this, false);
  std::uint8_t scratch[1];
  std::string address;
  int port = 0;
  std::size_t count = 0;
  // Bounded, so a flood cannot hold the caller here.
  for (; count < 4096; ++count) {
    try {
      TIdStack::Instance().ReceiveFrom(use.Socket(), scratch, sizeof scratch, address, port, IPVersion, true);
    } catch (const EIdSocketError& error) {
      // Windows reports a datagram longer than the scratch byte as 10040, and drops it all the same.
      if (error.ErrorNumber() != Id_WSAEMSGSIZE) break;  // nothing left (would block) or the socket is unusable
    }
    if (use.ClosedMeanwhile()) break;
  }
  return count;
}

bool TIdSocketHandle::WaitReadable(int timeoutMs) {
  TUse use(*this, true);
  return use.List().WaitAnyReadable(timeoutMs);
}

bool TIdSocketHandle::WaitAnyReadable(const std::vector<TIdSocketHandle*>& handles, int timeoutMs) {
  std::vector<std::unique_ptr<TUse>> uses;
  std::vector<TIdStackSocketHandle> sockets;
  for (auto* handle : handles) {
    uses.push_back(std::make_unique<TUse>(*handle, true));
    sockets.push_back(uses.back()->Socket());
  }
  return TIdStack::Instance().WaitReadable(sockets, timeoutMs);
}

void TIdSocketHandle::RememberPeer(const std::string& address, int port, TIdIPVersion ipVersion) {
  RemoteAddress = address;
  RemotePort = port;
  IPVersion = ipVersion;
}
