// SPDX-License-Identifier: MIT
#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "Core/IdSocketHandle.h"
#include "System/IdStack.h"

// Every network component is a user of the socket stack while it exists.
class TIdComponent {
public:
  TIdComponent() { TIdStack::IncUsage(); }
  virtual ~TIdComponent() { TIdStack::DecUsage(); }
  TIdComponent(const TIdComponent&) = delete;
  TIdComponent& operator=(const TIdComponent&) = delete;
};

// The UDP endpoint: one socket for its whole life, the host resolved anew on every send.
class TIdUDPBase : public TIdComponent {
public:
  TIdUDPBase() = default;
  ~TIdUDPBase() override;

  bool Active() { return IsActive(); }
  void SetActive(bool value);
  // While the window's stored properties are applied, Active is only recorded.
  void BeginLoading() { FLoading = true; }
  void Loaded();

  int BufferSize = 8192;                   // bytes: a server's receive buffer
  int ReceiveTimeout = IdTimeoutInfinite;  // ms; 0 or -2 wait without limit

  virtual void ReleaseBinding();
  virtual bool IsActive();
  virtual TIdSocketHandle& AcquireBinding();
  virtual TIdIPVersion GetIPVersion() const { return FIPVersion; }
  virtual void SetIPVersion(TIdIPVersion value) { FIPVersion = value; }
  virtual std::string GetHost() const { return FHost; }
  virtual void SetHost(const std::string& value) { FHost = value; }
  virtual int GetPort() const { return FPort; }
  virtual void SetPort(int value) { FPort = value; }
  virtual std::size_t ReceiveFrom(TIdBytes& buffer, std::string& peerIP, int& peerPort, int timeoutMs);
  virtual std::size_t ReceiveFrom(TIdBytes& buffer, std::string& peerIP, int& peerPort, int timeoutMs,
                                  TIdIPVersion ipVersion);
  virtual std::size_t Receive(TIdBytes& buffer, int timeoutMs);
  virtual void SendTo(const std::string& host, int port, TIdIPVersion ipVersion, const TIdBytes& bytes);
  virtual void SendTo(const std::string& host, int port, const TIdBytes& bytes);

  // Callable from any thread: ends a send, receive or wait in progress at once
  // and refuses every later use. For an endpoint whose owner is going away.
  virtual void Shutdown() noexcept;
  bool IsShutdown() const { return FShutdown.load(); }

protected:
  // Raises what a send that ended so raises: 10040 as EIdPackageSizeTooBig, another
  // error as itself, a short send as EIdNotAllBytesSent.
  static void CheckSent(int errorNumber, std::size_t sent, std::size_t size);
  // Broadcast stays off: SO_BROADCAST is written 0 on every new socket.
  virtual void ApplyBroadcastFlag();
  int EffectiveTimeout(int timeoutMs) const;

  std::string FHost;
  int FPort = 0;
  TIdIPVersion FIPVersion = Id_IPv4;

private:
  std::unique_ptr<TIdSocketHandle> FBinding;
  std::mutex FBindingLock;  // only against Shutdown from another thread
  std::atomic<bool> FShutdown{false};
  bool FLoading = false;
  bool FRecordedActive = false;
};

// A UDP endpoint that talks to one server.
class TIdUDPClient : public TIdUDPBase {};
