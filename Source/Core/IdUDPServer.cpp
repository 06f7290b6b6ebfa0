#include "Core/IdUDPServer.h"

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
    : TIdThread(true, true, ""), Server(server), FBatch(MaxBatch), FBufferSize(bufferSize > 0 ? bufferSize : 0) {
  StartThread();
}

TIdUDPListenerThread::~TIdUDPListenerThread() { EndThread(); }

void TIdUDPListenerThread::PrepareRun() {
  ReadSet = std::make_unique<TIdSocketList>();
  auto& bindings = Server.Bindings();
  for (std::size_t i = 0; i < bindings.Count(); ++i) ReadSet->AddSocket(bindings.Items(i).SocketHandle());
}

void TIdUDPListenerThread::FinishRun() { ReadSet.reset(); }

void TIdUDPListenerThread::Hand(const std::function<void()>& step) {
  if (Server.ThreadedEvent)
    step();
  else
    RunSynchronized(step);
}

void TIdUDPListenerThread::Fail(TReceived& item, const std::exception& error) {
  item.Failed = true;
  item.ErrorMessage = error.what();
  item.ErrorClass = typeid(error);
}

std::size_t TIdUDPListenerThread::ReceiveBatch(TIdSocketHandle& binding) {
  const auto size = static_cast<std::size_t>(FBufferSize);
  std::size_t count = 0;
  for (; count < MaxBatch; ++count) {
    TReceived& item = FBatch[count];
    item.Failed = false;
    item.Data.resize(size);
    std::size_t length = 0;
    try {
      // The first receive blocks until a datagram comes or the socket is closed.
      if (count == 0)
        length = binding.ReceiveDatagram(item.Data, item.PeerIP, item.PeerPort, binding.IPVersion);
      else if (!binding.TryReceiveDatagram(item.Data, item.PeerIP, item.PeerPort, binding.IPVersion, length))
        break;
      item.Data.resize(length);
    } catch (const std::exception& error) {
      if (count == 0) throw;
      Fail(item, error);
      if (!binding.HasSocket()) return count + 1;
    }
  }
  return count;
}

void TIdUDPListenerThread::DispatchBatch(TIdSocketHandle& binding, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    TReceived& item = FBatch[i];
    Server.FReplyBinding = &binding;
    if (!item.Failed) {
      binding.RememberPeer(item.PeerIP, item.PeerPort, binding.IPVersion);
      try {
        Server.DispatchDatagram(item.Data, binding);
        continue;
      } catch (const std::exception& error) {
        Fail(item, error);
      }
    }
    ErrorMessage = item.ErrorMessage;
    ErrorClass = item.ErrorClass;
    try {
      Server.DispatchListenerError(&binding, ErrorMessage, ErrorClass);
    } catch (const std::exception&) {
      // A failing failure handler is dropped; the listener goes on.
    }
  }
}

void TIdUDPListenerThread::RunPass() {
  // The wait goes through the bindings, so that closing one ends it at once. A
  // binding closed since PrepareRun fails the wait, which ends the listener.
  std::vector<TIdSocketHandle*> handles;
  for (std::size_t i = 0; i < ReadSet->SocketCount(); ++i) {
    auto* binding = Server.Bindings().FindByHandle(ReadSet->SocketAt(i));
    if (binding == nullptr) throw EIdConnClosedGracefully();
    handles.push_back(binding);
  }
  TIdSocketHandle::WaitAnyReadable(handles, SelectWaitMs);

  for (std::size_t i = 0; i < ReadSet->SocketCount(); ++i) {
    if (IsStopped()) continue;
    try {
      IncomingBinding = Server.Bindings().FindByHandle(ReadSet->SocketAt(i));
      if (IncomingBinding == nullptr) TIdStack::RaiseSocketError(Id_WSAENOTSOCK);
      const std::size_t count = ReceiveBatch(*IncomingBinding);
      Hand([this, count] { DispatchBatch(*IncomingBinding, count); });
    } catch (const std::exception& error) {
      ErrorMessage = error.what();
      ErrorClass = typeid(error);
      try {
        Hand([this] {
          if (IncomingBinding != nullptr) Server.FReplyBinding = IncomingBinding;
          Server.DispatchListenerError(IncomingBinding, ErrorMessage, ErrorClass);
        });
      } catch (const std::exception&) {
        // A failing failure handler is dropped; the listener goes on.
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

void TIdUDPServer::ApplyBroadcastFlag() {
  if (FReplyBinding == nullptr) return;
  for (std::size_t i = 0; i < FBindings.Count(); ++i) {
    auto& binding = FBindings.Items(i);
    if (binding.HasSocket())
      TIdStack::Instance().SetSocketOption(binding.SocketHandle(), Id_SOL_SOCKET, Id_SO_BROADCAST,
                                           BroadcastEnabled() ? 1 : 0);
  }
}

void TIdUDPServer::DispatchDatagram(const TIdBytes& data, TIdSocketHandle& binding) {
  if (OnUDPRead) OnUDPRead(*this, data, binding);
}

void TIdUDPServer::DispatchListenerError(TIdSocketHandle* binding, const std::string& message,
                                         std::type_index exceptionClass) {
  if (OnUDPException && binding != nullptr) OnUDPException(*this, *binding, message, exceptionClass);
}
