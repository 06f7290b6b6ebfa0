// SPDX-License-Identifier: MIT
#include "Core/IdUDPServer.h"

#include <algorithm>

#include "System/IdException.h"

TIdSocketHandle& TIdSocketHandles::Add() {
  FItems.push_back(std::make_unique<TIdSocketHandle>());
  FItems.back()->Port = DefaultPort;
  return *FItems.back();
}

void TIdSocketHandles::Assign(const TIdSocketHandles& other) {
  FItems.clear();
  for (const auto& item : other.FItems) {
    auto& copy = Add();
    copy.IP = item->IP;
    copy.Port = item->Port;
    copy.IPVersion = item->IPVersion;
    copy.ClientPortMin = item->ClientPortMin;
    copy.ClientPortMax = item->ClientPortMax;
  }
}

TIdSocketHandle* TIdSocketHandles::FindByHandle(TIdStackSocketHandle socket) const {
  for (auto it = FItems.rbegin(); it != FItems.rend(); ++it)
    if ((*it)->SocketHandle() == socket) return it->get();
  return nullptr;
}

TIdUDPListenerThread::TIdUDPListenerThread(int bufferSize, TIdUDPServer& server)
    : TIdThread(true, true, ""), Server(server), FBatch(MaxBatch), FSlots(MaxBatch),
      FBufferSize(bufferSize > 0 ? bufferSize : 0) {
  const auto size = static_cast<std::size_t>(FBufferSize);
  FBuffers.resize(size * MaxBatch);
  for (std::size_t i = 0; i < MaxBatch; ++i) {
    FSlots[i].Data = FBuffers.data() + i * size;
    FSlots[i].Size = size;
  }
  StartThread();
}

TIdUDPListenerThread::~TIdUDPListenerThread() { EndThread(); }

void TIdUDPListenerThread::PrepareRun() {
  FReadSet = std::make_unique<TIdSocketList>();
  auto& bindings = Server.Bindings();
  for (std::size_t i = 0; i < bindings.Count(); ++i) FReadSet->AddSocket(bindings.Items(i).SocketHandle());
}

void TIdUDPListenerThread::FinishRun() { FReadSet.reset(); }

void TIdUDPListenerThread::Hand(const std::function<void()>& step) {
  if (Server.ThreadedEvent)
    step();
  else
    RunSynchronized(step);
}

namespace {
void Fail(std::string& message, std::type_index& errorClass, int errorNumber) {
  try {
    TIdStack::RaiseSocketError(errorNumber);
  } catch (const std::exception& error) {
    message = error.what();
    errorClass = typeid(error);
  }
}
}  // namespace

std::size_t TIdUDPListenerThread::ReceiveBatch(TIdSocketHandle& binding) {
  // Waits for the first datagram (or the socket's close, which raises), then takes
  // those already behind it.
  const std::size_t count = binding.ReceiveDatagrams(FSlots.data(), MaxBatch);
  for (std::size_t i = 0; i < count; ++i) {
    TReceived& item = FBatch[i];
    const TIdDatagramSlot& slot = FSlots[i];
    item.PeerIP = slot.IP;
    item.PeerPort = slot.Port;
    item.Failed = slot.Error != 0 || slot.Length > slot.Size;
    if (slot.Error != 0)
      Fail(item.ErrorMessage, item.ErrorClass, slot.Error);
    else if (slot.Length > slot.Size)  // longer than the server's buffer: lost, and reported
      Fail(item.ErrorMessage, item.ErrorClass, Id_WSAEMSGSIZE);
    else
      item.Data.assign(slot.Data, slot.Data + slot.Length);
  }
  return count;
}

void TIdUDPListenerThread::Report(TIdSocketHandle* binding, const std::string& message, std::type_index errorClass) {
  ErrorMessage = message;
  ErrorClass = errorClass;
  try {
    Server.DispatchListenerError(binding, ErrorMessage, ErrorClass);
  } catch (const std::exception&) {
    // A failing failure handler is dropped; the listener goes on.
  }
}

void TIdUDPListenerThread::DispatchBatch(TIdSocketHandle& binding, std::size_t count) {
  Server.FQueueReplies = true;
  for (std::size_t i = 0; i < count; ++i) {
    TReceived& item = FBatch[i];
    Server.FReplyBinding = &binding;
    if (!item.Failed) {
      binding.RememberPeer(item.PeerIP, item.PeerPort, binding.IPVersion);
      try {
        Server.DispatchDatagram(item.Data, binding);
        continue;
      } catch (const std::exception& error) {
        item.ErrorMessage = error.what();
        item.ErrorClass = typeid(error);
      }
    }
    Report(&binding, item.ErrorMessage, item.ErrorClass);
  }
  for (const auto& [message, errorClass] : Server.SendQueuedReplies(binding)) Report(&binding, message, errorClass);
}

void TIdUDPListenerThread::RunPass() {
  // The wait goes through the bindings, so that closing one ends it at once. A
  // binding closed since PrepareRun fails the wait, which ends the listener.
  std::vector<TIdSocketHandle*> handles;
  for (std::size_t i = 0; i < FReadSet->SocketCount(); ++i) {
    auto* binding = Server.Bindings().FindByHandle(FReadSet->SocketAt(i));
    if (binding == nullptr) throw EIdConnClosedGracefully();
    handles.push_back(binding);
  }
  TIdSocketHandle::WaitAnyReadable(handles, SelectWaitMs);

  for (std::size_t i = 0; i < FReadSet->SocketCount(); ++i) {
    if (IsStopped()) continue;
    try {
      IncomingBinding = Server.Bindings().FindByHandle(FReadSet->SocketAt(i));
      if (IncomingBinding == nullptr) TIdStack::RaiseSocketError(Id_WSAENOTSOCK);
      const std::size_t count = ReceiveBatch(*IncomingBinding);
      Hand([this, count] { DispatchBatch(*IncomingBinding, count); });
    } catch (const std::exception& error) {
      const std::string message = error.what();
      const std::type_index errorClass = typeid(error);
      try {
        Hand([this, &message, errorClass] {
          if (IncomingBinding != nullptr) Server.FReplyBinding = IncomingBinding;
          Report(IncomingBinding, message, errorClass);
        });
      } catch (const std::exception&) {
        // The window is gone: nothing to report to.
      }
    }
  }
}

TIdUDPServer::~TIdUDPServer() {
  try {
    SetActive(false);
  } catch (...) {
  }
}

bool TIdUDPServer::IsActive() { return FReplyBinding != nullptr && FReplyBinding->HasSocket(); }

TIdSocketHandle& TIdUDPServer::AcquireBinding() {
  if (FReplyBinding != nullptr) return *FReplyBinding;
  if (IsShutdown()) throw EIdConnClosedGracefully();
  if (FBindings.Count() == 0) {
    auto& binding = FBindings.Add();
    binding.IP.clear();
    binding.IPVersion = Id_IPv4;
  }
  for (std::size_t i = 0; i < FBindings.Count(); ++i) {
    auto& binding = FBindings.Items(i);
    binding.OpenSocket(Id_SOCK_DGRAM, 0);
    binding.BindLocal();
  }
  try {
    FListener = std::make_unique<TIdUDPListenerThread>(BufferSize, *this);
  } catch (...) {
    // No listener: the server stays inactive, and its ports are free again.
    for (std::size_t i = 0; i < FBindings.Count(); ++i) FBindings.Items(i).CloseSocketHandle();
    throw;
  }
  FReplyBinding = &FBindings.Items(0);
  FListener->RequestStart();
  ApplyBroadcastFlag();
  return *FReplyBinding;
}

void TIdUDPServer::ReleaseBinding() {
  if (FReplyBinding == nullptr) return;
  FListener->RequestStop();
  for (std::size_t i = 0; i < FBindings.Count(); ++i) FBindings.Items(i).CloseSocketHandle();
  FListener->WaitForEnd();
  FListener.reset();
  FReplyBinding = nullptr;
}

void TIdUDPServer::SendTo(const std::string& host, int port, TIdIPVersion ipVersion, const TIdBytes& bytes) {
  if (!FQueueReplies) {
    TIdUDPBase::SendTo(host, port, ipVersion, bytes);
    return;
  }
  const std::string address = TIdStack::Instance().ResolveAddress(host, ipVersion);
  if (FQueued == FReplies.size()) FReplies.emplace_back();
  TQueuedReply& reply = FReplies[FQueued++];
  reply.IP = address;
  reply.Port = port;
  reply.Bytes.assign(bytes.begin(), bytes.end());
}

std::vector<std::pair<std::string, std::type_index>> TIdUDPServer::SendQueuedReplies(TIdSocketHandle& binding) {
  FQueueReplies = false;
  std::vector<std::pair<std::string, std::type_index>> failures;
  const std::size_t count = std::exchange(FQueued, 0);
  // A server switched off meanwhile (from a nested loop) drops its replies quietly.
  if (count == 0 || !binding.HasSocket()) return failures;
  FReplySlots.resize(std::max(FReplySlots.size(), count));
  for (std::size_t i = 0; i < count; ++i) {
    TIdDatagramSlot& slot = FReplySlots[i];
    slot.Data = FReplies[i].Bytes.data();
    slot.Size = FReplies[i].Bytes.size();
    slot.IP = FReplies[i].IP;
    slot.Port = FReplies[i].Port;
  }
  try {
    binding.SendDatagrams(FReplySlots.data(), count);
  } catch (const std::exception& error) {
    for (std::size_t i = 0; i < count; ++i) failures.emplace_back(error.what(), typeid(error));
    return failures;
  }
  for (std::size_t i = 0; i < count; ++i) {
    const TIdDatagramSlot& slot = FReplySlots[i];
    try {
      CheckSent(slot.Error, slot.Length, slot.Size);  // as the same send alone would have raised it
    } catch (const std::exception& error) {
      failures.emplace_back(error.what(), typeid(error));
    }
  }
  return failures;
}

void TIdUDPServer::ApplyBroadcastFlag() {
  if (FReplyBinding == nullptr) return;
  for (std::size_t i = 0; i < FBindings.Count(); ++i) {
    auto& binding = FBindings.Items(i);
    if (binding.HasSocket())
      TIdStack::Instance().SetSocketOption(binding.SocketHandle(), Id_SOL_SOCKET, Id_SO_BROADCAST, 0);
  }
}

void TIdUDPServer::DispatchDatagram(const TIdBytes& data, TIdSocketHandle& binding) {
  if (OnUDPRead) OnUDPRead(*this, data, binding);
}

void TIdUDPServer::DispatchListenerError(TIdSocketHandle* binding, const std::string& message,
                                         std::type_index exceptionClass) {
  if (OnUDPException && binding != nullptr) OnUDPException(*this, *binding, message, exceptionClass);
}
