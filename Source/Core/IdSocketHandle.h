// SPDX-License-Identifier: MIT
#pragma once
#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Core/IdSocketList.h"
#include "System/IdStack.h"

// One datagram socket with its local and remote address and port.
//
// CloseSocketHandle may be called from another thread while a send, receive or
// wait is in progress on this handle: the blocked call returns at once with a
// failure, and the descriptor is released only after the last such call has
// left, so its number cannot be reused under a thread still using it.
class TIdSocketHandle {
public:
  TIdSocketHandle();
  ~TIdSocketHandle();
  TIdSocketHandle(const TIdSocketHandle&) = delete;
  TIdSocketHandle& operator=(const TIdSocketHandle&) = delete;

  int ClientPortMin = 0;
  int ClientPortMax = 0;
  std::string IP;             // local address; empty means every local address
  std::string RemoteAddress;  // for received datagrams: the sender of the last one
  int Port = 0;               // local port; 0 lets the system choose
  int RemotePort = 0;
  TIdIPVersion IPVersion = Id_IPv4;

  TIdStackSocketHandle SocketHandle() const { return FSocketHandle.load(); }
  bool HasSocket() const { return FHasSocket.load(); }

  void OpenSocket(int socketType = Id_SOCK_DGRAM, int protocol = 0);
  void CloseSocketHandle() noexcept;
  void BindLocal();
  std::size_t SendDatagram(const std::string& address, int port, const TIdBytes& bytes, TIdIPVersion ipVersion);
  // Fills the whole buffer and returns the datagram's length. A datagram longer than
  // the buffer raises 10040 (the sender is still reported) and is lost.
  std::size_t ReceiveDatagram(TIdBytes& buffer, std::string& address, int& port, TIdIPVersion ipVersion);
  // Takes the first datagram (waiting for it) and those already queued behind it,
  // up to count, as TIdStack::ReceiveMany. Our own close meanwhile raises 10004.
  std::size_t ReceiveDatagrams(TIdDatagramSlot* slots, std::size_t count);
  // Sends the slots together; each failure is recorded in its slot.
  void SendDatagrams(TIdDatagramSlot* slots, std::size_t count);
  // Drops every datagram already queued on the socket; returns how many.
  std::size_t DiscardPending();
  bool WaitReadable(int timeoutMs);
  // Waits until any of the handles is readable. Closing one of them from another
  // thread ends the wait at once (it then reads as readable).
  static bool WaitAnyReadable(const std::vector<TIdSocketHandle*>& handles, int timeoutMs);
  void RememberPeer(const std::string& address, int port, TIdIPVersion ipVersion);

private:
  class TUse;

  std::atomic<TIdStackSocketHandle> FSocketHandle{Id_INVALID_SOCKET};
  std::atomic<bool> FHasSocket{false};
  std::shared_ptr<TIdSocketList> FReadList;  // just this socket, while it has one
  std::mutex FHandleLock;
  int FCallsInProgress = 0;
  std::vector<TIdStackSocketHandle> FClosePending;
};
