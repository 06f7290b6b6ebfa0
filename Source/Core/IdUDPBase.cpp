// SPDX-License-Identifier: MIT
#include "Core/IdUDPBase.h"

#include "System/IdException.h"

TIdUDPBase::~TIdUDPBase() {
  try {
    SetActive(false);
  } catch (...) {
  }
  ReleaseBinding();
}

void TIdUDPBase::SetActive(bool value) {
  if (FLoading) {
    FRecordedActive = value;
    return;
  }
  if (value == IsActive()) return;
  if (value)
    AcquireBinding();
  else
    ReleaseBinding();
}

void TIdUDPBase::Loaded() {
  FLoading = false;
  const bool value = FRecordedActive;
  FRecordedActive = false;
  SetActive(value);
}

void TIdUDPBase::ReleaseBinding() {
  std::lock_guard guard(FBindingLock);
  FBinding.reset();
}

bool TIdUDPBase::IsActive() {
  if (FLoading && FRecordedActive) return true;
  return FBinding != nullptr && FBinding->HasSocket();
}

TIdSocketHandle& TIdUDPBase::AcquireBinding() {
  std::lock_guard guard(FBindingLock);
  if (FShutdown) throw EIdConnClosedGracefully();
  if (!FBinding) FBinding = std::make_unique<TIdSocketHandle>();
  if (!FBinding->HasSocket()) {
    FBinding->IPVersion = FIPVersion;
    FBinding->OpenSocket(Id_SOCK_DGRAM, 0);
    ApplyBroadcastFlag();
  }
  return *FBinding;
}

void TIdUDPBase::ApplyBroadcastFlag() {
  if (FBinding && FBinding->HasSocket())
    TIdStack::Instance().SetSocketOption(FBinding->SocketHandle(), Id_SOL_SOCKET, Id_SO_BROADCAST, 0);
}

void TIdUDPBase::Shutdown() noexcept {
  FShutdown = true;
  std::lock_guard guard(FBindingLock);
  if (FBinding) FBinding->CloseSocketHandle();
}

int TIdUDPBase::EffectiveTimeout(int timeoutMs) const {
  if (timeoutMs == IdTimeoutDefault) timeoutMs = ReceiveTimeout == 0 ? IdTimeoutInfinite : ReceiveTimeout;
  return timeoutMs;
}

std::size_t TIdUDPBase::ReceiveFrom(TIdBytes& buffer, std::string& peerIP, int& peerPort, int timeoutMs) {
  return ReceiveFrom(buffer, peerIP, peerPort, timeoutMs, GetIPVersion());
}

std::size_t TIdUDPBase::ReceiveFrom(TIdBytes& buffer, std::string& peerIP, int& peerPort, int timeoutMs,
                                    TIdIPVersion ipVersion) {
  auto& binding = AcquireBinding();
  if (!binding.WaitReadable(EffectiveTimeout(timeoutMs))) {
    peerIP.clear();
    peerPort = 0;
    return 0;
  }
  return binding.ReceiveDatagram(buffer, peerIP, peerPort, ipVersion);
}

std::size_t TIdUDPBase::Receive(TIdBytes& buffer, int timeoutMs) {
  std::string peerIP;
  int peerPort = 0;
  return ReceiveFrom(buffer, peerIP, peerPort, timeoutMs);
}

void TIdUDPBase::SendTo(const std::string& host, int port, TIdIPVersion ipVersion, const TIdBytes& bytes) {
  const std::string address = TIdStack::Instance().ResolveAddress(host, ipVersion);
  std::size_t sent = 0;
  try {
    sent = AcquireBinding().SendDatagram(address, port, bytes, ipVersion);
  } catch (const EIdSocketError& error) {
    if (error.ErrorNumber() == Id_WSAEMSGSIZE) throw EIdPackageSizeTooBig();
    throw;
  }
  CheckSent(0, sent, bytes.size());
}

void TIdUDPBase::CheckSent(int errorNumber, std::size_t sent, std::size_t size) {
  if (errorNumber == Id_WSAEMSGSIZE) throw EIdPackageSizeTooBig();
  if (errorNumber != 0) TIdStack::RaiseSocketError(errorNumber);
  if (sent < size) throw EIdNotAllBytesSent();
}

void TIdUDPBase::SendTo(const std::string& host, int port, const TIdBytes& bytes) {
  SendTo(host, port, GetIPVersion(), bytes);
}
