// SPDX-License-Identifier: MIT
// The socket stack's calls on Windows Sockets 2. Failures carry the system's own
// error numbers, which are the numbering the rest of the program uses.
//
// Ending a blocked call: closing a socket on Windows does wake a receive blocked
// on it in another thread, but it also frees the handle's value at once, and a
// thread about to enter a call could then land on a stranger's new socket. So
// every socket is non-blocking and tied to an event that its incoming datagrams
// set; blocking receives and waits sleep on that event, and WakeBlockedCalls
// sets it for good. The socket itself is closed only after the last call on it
// has left (the socket handle's guard arranges that), as on Linux.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "Platform/PortRight.h"
#include "Platform/Windows/Utf8.h"
#include "System/IdDottedQuad.h"
#include "System/IdException.h"
#include "System/IdStack.h"

namespace {

struct TSocketState {
  WSAEVENT Event = WSA_INVALID_EVENT;  // set by FD_READ, and for good by WakeBlockedCalls
  std::atomic<bool> Woken{false};

  TSocketState() = default;
  TSocketState(const TSocketState&) = delete;
  TSocketState& operator=(const TSocketState&) = delete;
  ~TSocketState() {
    if (Event != WSA_INVALID_EVENT) WSACloseEvent(Event);
  }
};

// Never destroyed: late threads may still close sockets while the process ends.
std::mutex& StatesLock() {
  static auto* lock = new std::mutex;
  return *lock;
}
std::map<SOCKET, std::shared_ptr<TSocketState>>& States() {
  static auto* states = new std::map<SOCKET, std::shared_ptr<TSocketState>>;
  return *states;
}

SOCKET Native(TIdStackSocketHandle socket) { return static_cast<SOCKET>(socket); }

// Null for a socket that the stack did not make.
std::shared_ptr<TSocketState> StateOf(TIdStackSocketHandle socket) {
  std::lock_guard guard(StatesLock());
  const auto found = States().find(Native(socket));
  return found == States().end() ? nullptr : found->second;
}

[[noreturn]] void RaiseLastError() { TIdStack::RaiseSocketError(WSAGetLastError()); }

sockaddr_in MakeAddress(const std::string& ip, int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  const auto parts = ParseIPv4(ip);
  if (!parts) TIdStack::RaiseSocketError(WSAEADDRNOTAVAIL);
  std::memcpy(&address.sin_addr, parts->data(), parts->size());  // both in network order
  return address;
}

std::string AddressText(const sockaddr_in& address) {
  TIdDottedQuad parts;
  std::memcpy(parts.data(), &address.sin_addr, parts.size());
  return DottedQuadText(parts);
}

int Clamped(std::size_t length) { return static_cast<int>(std::min<std::size_t>(length, INT_MAX)); }

// select() over the sockets; a negative time-out waits without limit.
bool SelectReadable(const std::vector<SOCKET>& sockets, int timeoutMs) {
  fd_set set;
  FD_ZERO(&set);
  for (const SOCKET socket : sockets) FD_SET(socket, &set);
  timeval limit{timeoutMs / 1000, timeoutMs % 1000 * 1000};
  const int ready = select(0, &set, nullptr, nullptr, timeoutMs < 0 ? nullptr : &limit);
  if (ready == SOCKET_ERROR) RaiseLastError();
  return ready > 0;
}

}  // namespace

namespace IdStackPlatform {

// Once per process; shut down when the process ends rather than with the last
// user, since late threads may still hold sockets until then.
void Startup() {
  static const bool started = [] {
    WSADATA data{};
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;  // every call then fails with 10093
    std::atexit([] { WSACleanup(); });
    return true;
  }();
  static_cast<void>(started);
}

void Cleanup() {}

// The name as the window has it, UTF-8, through the wide resolver: the ANSI one
// reads it in the user's code page and cannot resolve a name outside it.
int LookupIPv4(const std::string& host, std::string& address) {
  ADDRINFOW hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  ADDRINFOW* result = nullptr;
  // The codes are Windows Sockets numbers already: 11001 no such host, 11002 no answer.
  const int code = GetAddrInfoW(Platform::WideFromUtf8(host).c_str(), nullptr, &hints, &result);
  if (code != 0) return code;
  if (result == nullptr) return WSAHOST_NOT_FOUND;
  address = AddressText(*reinterpret_cast<const sockaddr_in*>(result->ai_addr));
  FreeAddrInfoW(result);
  return 0;
}

}  // namespace IdStackPlatform

TIdStackSocketHandle TIdStack::NewSocketHandle(int socketType, int protocol, TIdIPVersion /*ipVersion*/) {
  const int type = socketType == Id_SOCK_DGRAM ? SOCK_DGRAM : socketType;
  const SOCKET socket = ::socket(AF_INET, type, protocol);
  if (socket == INVALID_SOCKET) RaiseLastError();
  SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);  // no child process inherits it
  // Windows fails the next receive on an unconnected socket with 10054 when an
  // earlier send was answered "port unreachable"; Linux never does, and the Time
  // server would count every client that went away as a failure.
  BOOL reportUnreachable = FALSE;
  DWORD bytes = 0;
  WSAIoctl(socket, SIO_UDP_CONNRESET, &reportUnreachable, sizeof reportUnreachable, nullptr, 0, &bytes, nullptr,
           nullptr);
  auto state = std::make_shared<TSocketState>();
  state->Event = WSACreateEvent();
  if (state->Event == WSA_INVALID_EVENT || WSAEventSelect(socket, state->Event, FD_READ) != 0) {
    const int error = WSAGetLastError();
    closesocket(socket);
    RaiseSocketError(error);
  }
  std::lock_guard guard(StatesLock());
  States()[socket] = std::move(state);
  return static_cast<TIdStackSocketHandle>(socket);
}

void TIdStack::Bind(TIdStackSocketHandle socket, const std::string& ip, int port, TIdIPVersion /*ipVersion*/) {
  const auto address = ParseIPv4(ip);
  if (!address) RaiseSocketError(WSAEADDRNOTAVAIL);
  if (const int error = Platform::BindSocket(socket, *address, static_cast<std::uint16_t>(port)); error != 0)
    RaiseSocketError(error);
}

void TIdStack::GetSocketName(TIdStackSocketHandle socket, std::string& ip, int& port) {
  TIdDottedQuad address{};
  std::uint16_t bound = 0;
  if (const int error = Platform::BoundAddress(socket, address, bound); error != 0) RaiseSocketError(error);
  ip = DottedQuadText(address);
  port = bound;
}

std::size_t TIdStack::SendTo(TIdStackSocketHandle socket, const std::uint8_t* data, std::size_t length,
                             const std::string& ip, int port, TIdIPVersion /*ipVersion*/) {
  const sockaddr_in address = MakeAddress(ip, port);
  const auto state = StateOf(socket);
  for (;;) {
    const int sent = ::sendto(Native(socket), reinterpret_cast<const char*>(data), Clamped(length), 0,
                              reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (sent != SOCKET_ERROR) return static_cast<std::size_t>(sent);
    const int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK || state == nullptr || state->Woken) RaiseSocketError(error);
    // The send buffer is full: wait a little for room, watching for our own close.
    fd_set set;
    FD_ZERO(&set);
    FD_SET(Native(socket), &set);
    timeval slice{0, 10000};
    if (select(0, nullptr, &set, nullptr, &slice) == SOCKET_ERROR) RaiseLastError();
  }
}

std::size_t TIdStack::ReceiveFrom(TIdStackSocketHandle socket, std::uint8_t* buffer, std::size_t length,
                                  std::string& ip, int& port, TIdIPVersion /*ipVersion*/, bool dontWait) {
  const auto state = StateOf(socket);
  if (state == nullptr && dontWait && !SelectReadable({Native(socket)}, 0)) RaiseSocketError(WSAEWOULDBLOCK);
  for (;;) {
    // Reset before trying, so that a datagram or a wake after the try still sets it.
    if (state) WSAResetEvent(state->Event);
    sockaddr_in address{};
    int addressLength = sizeof address;
    const int received = ::recvfrom(Native(socket), reinterpret_cast<char*>(buffer), Clamped(length), 0,
                                    reinterpret_cast<sockaddr*>(&address), &addressLength);
    const int error = received == SOCKET_ERROR ? WSAGetLastError() : 0;
    // Windows cannot tell the length of a datagram longer than the buffer: it
    // fails with 10040 and drops it, and names the sender all the same.
    if (received != SOCKET_ERROR || error == WSAEMSGSIZE) {
      ip = address.sin_family == AF_INET ? AddressText(address) : std::string();
      port = address.sin_family == AF_INET ? ntohs(address.sin_port) : 0;
    }
    if (received != SOCKET_ERROR) return static_cast<std::size_t>(received);
    if (error != WSAEWOULDBLOCK || dontWait || state == nullptr) RaiseSocketError(error);
    if (state->Woken) RaiseSocketError(WSAEINTR);
    if (WSAWaitForMultipleEvents(1, &state->Event, FALSE, WSA_INFINITE, FALSE) == WSA_WAIT_FAILED) RaiseLastError();
  }
}

// Windows has no call that takes several datagrams: the batch is a drain of
// non-blocking receives after the first.
std::size_t TIdStack::ReceiveMany(TIdStackSocketHandle socket, TIdDatagramSlot* slots, std::size_t count,
                                  TIdIPVersion ipVersion, bool dontWait) {
  std::size_t taken = 0;
  for (; taken < count; ++taken) {
    TIdDatagramSlot& slot = slots[taken];
    slot.Error = 0;
    try {
      slot.Length = ReceiveFrom(socket, slot.Data, slot.Size, slot.IP, slot.Port, ipVersion, dontWait || taken > 0);
    } catch (const EIdSocketError& error) {
      // A cut datagram is a datagram all the same: it counts, marked as too long.
      if (error.ErrorNumber() == WSAEMSGSIZE) {
        slot.Length = slot.Size + 1;
        continue;
      }
      if (taken == 0) throw;
      if (error.ErrorNumber() == WSAEWOULDBLOCK) break;
      slot.Error = error.ErrorNumber();
      return taken + 1;
    }
  }
  return taken;
}

void TIdStack::SendMany(TIdStackSocketHandle socket, TIdDatagramSlot* slots, std::size_t count,
                        TIdIPVersion ipVersion) {
  for (std::size_t i = 0; i < count; ++i) {
    TIdDatagramSlot& slot = slots[i];
    slot.Length = 0;
    try {
      slot.Length = SendTo(socket, slot.Data, slot.Size, slot.IP, slot.Port, ipVersion);
      slot.Error = 0;
    } catch (const EIdSocketError& error) {
      slot.Error = error.ErrorNumber();
    }
  }
}

void TIdStack::SetSocketOption(TIdStackSocketHandle socket, int level, int option, int value) {
  const int nativeLevel = level == Id_SOL_SOCKET ? SOL_SOCKET : level;
  const int nativeOption = level == Id_SOL_SOCKET && option == Id_SO_BROADCAST ? SO_BROADCAST : option;
  if (::setsockopt(Native(socket), nativeLevel, nativeOption, reinterpret_cast<const char*>(&value), sizeof value) != 0)
    RaiseLastError();
}

void TIdStack::Close(TIdStackSocketHandle socket) {
  std::shared_ptr<TSocketState> state;  // its event goes when the last waiter lets go
  {
    std::lock_guard guard(StatesLock());
    const auto found = States().find(Native(socket));
    if (found != States().end()) {
      state = std::move(found->second);
      States().erase(found);
    }
  }
  Platform::ReleaseSocket(socket);
  ::shutdown(Native(socket), SD_SEND);
  ::closesocket(Native(socket));
}

void TIdStack::WakeBlockedCalls(TIdStackSocketHandle socket) {
  const auto state = StateOf(socket);
  if (state == nullptr) return;
  state->Woken = true;
  WSASetEvent(state->Event);
}

bool TIdStack::WaitReadable(const std::vector<TIdStackSocketHandle>& sockets, int timeoutMs) {
  std::vector<SOCKET> natives;
  std::vector<std::shared_ptr<TSocketState>> states;
  std::vector<WSAEVENT> events;
  for (const auto socket : sockets) {
    natives.push_back(Native(socket));
    if (auto state = StateOf(socket)) {
      events.push_back(state->Event);
      states.push_back(std::move(state));
    }
  }
  if (natives.empty()) {
    if (timeoutMs > 0) Sleep(static_cast<DWORD>(timeoutMs));
    return false;
  }
  // Sockets of our own can be woken; any other one is waited on by select alone.
  if (events.size() != natives.size() || events.size() > WSA_MAXIMUM_WAIT_EVENTS)
    return SelectReadable(natives, timeoutMs);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  for (;;) {
    for (const auto event : events) WSAResetEvent(event);
    // A woken socket reads as readable; the receive that follows tells the rest.
    for (const auto& state : states)
      if (state->Woken) return true;
    if (SelectReadable(natives, 0)) return true;
    DWORD wait = WSA_INFINITE;
    if (timeoutMs >= 0) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0) return false;
      wait = static_cast<DWORD>(left);
    }
    if (WSAWaitForMultipleEvents(static_cast<DWORD>(events.size()), events.data(), FALSE, wait, FALSE) ==
        WSA_WAIT_FAILED)
      RaiseLastError();
  }
}
