// SPDX-License-Identifier: MIT
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <typeindex>
#include <utility>
#include <vector>

#include "Core/IdSocketHandle.h"
#include "Core/IdSocketList.h"
#include "Core/IdThread.h"
#include "Core/IdUDPBase.h"

// The bindings of a server: an ordered collection that owns its handles.
class TIdSocketHandles {
public:
  int DefaultPort = 0;

  TIdSocketHandle& Add();
  std::size_t Count() const { return FItems.size(); }
  TIdSocketHandle& Items(std::size_t index) const { return *FItems.at(index); }
  // Copies the settings of the other collection's bindings.
  void Assign(const TIdSocketHandles& other);
  // The last binding holding socket, or nullptr.
  TIdSocketHandle* FindByHandle(TIdStackSocketHandle socket) const;

private:
  std::vector<std::unique_ptr<TIdSocketHandle>> FItems;
};

class TIdUDPServer;

// The one thread that waits on every binding of a server and receives its datagrams.
class TIdUDPListenerThread : public TIdThread {
public:
  TIdUDPListenerThread(int bufferSize, TIdUDPServer& server);
  ~TIdUDPListenerThread() override;

  TIdSocketHandle* IncomingBinding = nullptr;
  int SelectWaitMs = 1000;
  std::string ErrorMessage;
  std::type_index ErrorClass = typeid(void);
  TIdUDPServer& Server;

protected:
  void PrepareRun() override;
  void FinishRun() override;
  void RunPass() override;

private:
  // One datagram taken from a socket, or the failure of taking it.
  struct TReceived {
    TIdBytes Data;
    std::string PeerIP;
    int PeerPort = 0;
    bool Failed = false;
    std::string ErrorMessage;
    std::type_index ErrorClass = typeid(void);
  };
  // Under load the datagrams already waiting behind the first are taken in the same
  // call and handed over in one step: the window's thread is woken once per batch,
  // not once per datagram. Each is still handled on its own, in order, and the
  // replies leave together at the end of the step.
  static constexpr std::size_t MaxBatch = 64;

  void Hand(const std::function<void()>& step);
  std::size_t ReceiveBatch(TIdSocketHandle& binding);
  void DispatchBatch(TIdSocketHandle& binding, std::size_t count);
  void Report(TIdSocketHandle* binding, const std::string& message, std::type_index errorClass);

  std::vector<TReceived> FBatch;
  std::vector<std::uint8_t> FBuffers;  // one buffer of the server's size per slot
  std::vector<TIdDatagramSlot> FSlots;
  int FBufferSize;
  std::unique_ptr<TIdSocketList> FReadSet;
};

using TUDPReadEvent = std::function<void(TIdUDPServer& sender, const TIdBytes& data, TIdSocketHandle& binding)>;
using TIdUDPExceptionEvent = std::function<void(TIdUDPServer& sender, TIdSocketHandle& binding,
                                                const std::string& message, std::type_index exceptionClass)>;

// A UDP endpoint listening on its bindings; every datagram goes to DispatchDatagram
// with the binding it came in on, whose remote fields then name the sender.
class TIdUDPServer : public TIdUDPBase {
public:
  TIdUDPServer() = default;
  ~TIdUDPServer() override;

  TIdSocketHandles& Bindings() { return FBindings; }
  void SetBindings(const TIdSocketHandles& value) { FBindings.Assign(value); }
  int DefaultPort() const { return FBindings.DefaultPort; }
  void SetDefaultPort(int value) { FBindings.DefaultPort = value; }
  TIdSocketHandle* ReplyBinding() const { return FReplyBinding; }
  TIdUDPListenerThread* Listener() const { return FListener.get(); }

  TUDPReadEvent OnUDPRead;
  TIdUDPExceptionEvent OnUDPException;
  // False: handlers and everything done for a datagram run on the window's thread
  // while the listener waits; true: on the listener thread.
  bool ThreadedEvent = false;

  using TIdUDPBase::SendTo;
  // While the listener's step handles a batch, a send is queued, and the queue
  // leaves in one call at the end of the step.
  void SendTo(const std::string& host, int port, TIdIPVersion ipVersion, const TIdBytes& bytes) override;

  void ReleaseBinding() override;
  bool IsActive() override;
  TIdSocketHandle& AcquireBinding() override;
  virtual void DispatchDatagram(const TIdBytes& data, TIdSocketHandle& binding);
  virtual void DispatchListenerError(TIdSocketHandle* binding, const std::string& message,
                                     std::type_index exceptionClass);

protected:
  void ApplyBroadcastFlag() override;

private:
  friend class TIdUDPListenerThread;

  // Sends the queued replies through binding; returns the failures as (message, class).
  std::vector<std::pair<std::string, std::type_index>> SendQueuedReplies(TIdSocketHandle& binding);

  TIdSocketHandles FBindings;
  TIdSocketHandle* FReplyBinding = nullptr;
  struct TQueuedReply {
    std::string IP;
    int Port = 0;
    TIdBytes Bytes;
  };
  bool FQueueReplies = false;
  std::size_t FQueued = 0;
  std::vector<TQueuedReply> FReplies;  // kept between batches, so that a batch allocates nothing
  std::vector<TIdDatagramSlot> FReplySlots;
  std::unique_ptr<TIdUDPListenerThread> FListener;
};
