// SPDX-License-Identifier: MIT
// The socket stack's calls on POSIX sockets, with errno and resolver codes
// mapped onto the Windows Sockets numbering that the rest of the program uses.
#include "System/Posix/IdStackPosix.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "Platform/PortRight.h"
#include "System/IdDottedQuad.h"
#include "System/IdStack.h"

namespace IdStackPosix {

int MapErrno(int error) {
  switch (error) {
    case EINTR: return 10004;
    case EBADF: return 10009;
    case EACCES:
    case EPERM: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE:
    case ENFILE: return 10024;
    case EAGAIN: return 10035;
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case ENOTSOCK: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return 10045;
    case EPFNOSUPPORT: return 10046;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET: return 10054;
    case ENOBUFS:
    case ENOMEM: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETOOMANYREFS: return 10059;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case ELOOP: return 10062;
    case ENAMETOOLONG: return 10063;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    case ENOTEMPTY: return 10066;
    default: return error;
  }
}

int MapResolverError(int code, int savedErrno) {
  switch (code) {
    case EAI_NONAME: return Id_WSAHOST_NOT_FOUND;
    case EAI_AGAIN: return 11002;   // no resolver answered
    case EAI_NODATA: return 11004;  // the name has no IPv4 address
    case EAI_MEMORY: return 10055;
    case EAI_SYSTEM: return MapErrno(savedErrno);
    default: return 11003;
  }
}

}  // namespace IdStackPosix

namespace {

[[noreturn]] void RaiseLastError() { TIdStack::RaiseSocketError(IdStackPosix::MapErrno(errno)); }

int NativeSocket(TIdStackSocketHandle socket) { return static_cast<int>(socket); }

// False for text that is no address to bind or send to.
bool FillAddress(const std::string& ip, int port, sockaddr_in& address) {
  const auto parts = ParseIPv4(ip);
  if (!parts) return false;
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  std::memcpy(&address.sin_addr.s_addr, parts->data(), parts->size());  // both in network order
  return true;
}

sockaddr_in MakeAddress(const std::string& ip, int port) {
  sockaddr_in address{};
  if (!FillAddress(ip, port, address)) TIdStack::RaiseSocketError(10049);
  return address;
}

std::string AddressText(const sockaddr_in& address) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
  return text;
}

void ReadSender(const sockaddr_in& address, socklen_t length, std::string& ip, int& port) {
  const bool known = length >= sizeof address && address.sin_family == AF_INET;
  ip = known ? AddressText(address) : std::string();
  port = known ? ntohs(address.sin_port) : 0;
}

}  // namespace

namespace IdStackPlatform {

void Startup() {}
void Cleanup() {}

int LookupIPv4(const std::string& host, std::string& address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* result = nullptr;
  const int code = getaddrinfo(host.c_str(), nullptr, &hints, &result);
  if (code != 0) return IdStackPosix::MapResolverError(code, errno);
  if (result == nullptr) return Id_WSAHOST_NOT_FOUND;
  address = AddressText(*reinterpret_cast<const sockaddr_in*>(result->ai_addr));
  freeaddrinfo(result);
  return 0;
}

}  // namespace IdStackPlatform

TIdStackSocketHandle TIdStack::NewSocketHandle(int socketType, int protocol, TIdIPVersion /*ipVersion*/) {
  const int type = socketType == Id_SOCK_DGRAM ? SOCK_DGRAM : socketType;
  const int socket = ::socket(AF_INET, type | SOCK_CLOEXEC, protocol);
  if (socket < 0) RaiseLastError();
  return socket;
}

void TIdStack::Bind(TIdStackSocketHandle socket, const std::string& ip, int port, TIdIPVersion /*ipVersion*/) {
  const auto address = ParseIPv4(ip);
  if (!address) RaiseSocketError(10049);
  if (const int error = Platform::BindSocket(socket, *address, static_cast<std::uint16_t>(port)); error != 0)
    RaiseSocketError(IdStackPosix::MapErrno(error));
}

void TIdStack::GetSocketName(TIdStackSocketHandle socket, std::string& ip, int& port) {
  TIdDottedQuad address{};
  std::uint16_t bound = 0;
  if (const int error = Platform::BoundAddress(socket, address, bound); error != 0)
    RaiseSocketError(IdStackPosix::MapErrno(error));
  ip = DottedQuadText(address);
  port = bound;
}

std::size_t TIdStack::SendTo(TIdStackSocketHandle socket, const std::uint8_t* data, std::size_t length,
                             const std::string& ip, int port, TIdIPVersion /*ipVersion*/) {
  const sockaddr_in address = MakeAddress(ip, port);
  ssize_t sent;
  do {
    sent = ::sendto(NativeSocket(socket), data, length, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address),
                    sizeof address);
  } while (sent < 0 && errno == EINTR);
  if (sent < 0) RaiseLastError();
  return static_cast<std::size_t>(sent);
}

std::size_t TIdStack::ReceiveFrom(TIdStackSocketHandle socket, std::uint8_t* buffer, std::size_t length,
                                  std::string& ip, int& port, TIdIPVersion /*ipVersion*/, bool dontWait) {
  sockaddr_in address{};
  socklen_t addressLength = sizeof address;
  ssize_t received;
  // MSG_TRUNC makes Linux report the datagram's real length instead of cutting it silently.
  const int flags = MSG_TRUNC | (dontWait ? MSG_DONTWAIT : 0);
  do {
    received =
        ::recvfrom(NativeSocket(socket), buffer, length, flags, reinterpret_cast<sockaddr*>(&address), &addressLength);
  } while (received < 0 && errno == EINTR);
  if (received < 0) RaiseLastError();
  ReadSender(address, addressLength, ip, port);
  return static_cast<std::size_t>(received);
}

namespace {
// The most datagrams one recvmmsg or sendmmsg call takes.
constexpr std::size_t MaxMany = 64;
}  // namespace

std::size_t TIdStack::ReceiveMany(TIdStackSocketHandle socket, TIdDatagramSlot* slots, std::size_t count,
                                  TIdIPVersion /*ipVersion*/, bool dontWait) {
  const std::size_t wanted = std::min(count, MaxMany);
  if (wanted == 0) return 0;
  mmsghdr messages[MaxMany] = {};
  iovec vectors[MaxMany];
  sockaddr_in addresses[MaxMany];
  for (std::size_t i = 0; i < wanted; ++i) {
    vectors[i] = {slots[i].Data, slots[i].Size};
    messages[i].msg_hdr.msg_name = &addresses[i];
    messages[i].msg_hdr.msg_namelen = sizeof addresses[i];
    messages[i].msg_hdr.msg_iov = &vectors[i];
    messages[i].msg_hdr.msg_iovlen = 1;
  }
  // MSG_TRUNC: each length is the datagram's own, as for ReceiveFrom. MSG_WAITFORONE
  // waits for the first only and takes the rest if they are already there.
  const int flags = MSG_TRUNC | (dontWait ? MSG_DONTWAIT : MSG_WAITFORONE);
  int received;
  do {
    received = ::recvmmsg(NativeSocket(socket), messages, static_cast<unsigned>(wanted), flags, nullptr);
  } while (received < 0 && errno == EINTR);
  if (received < 0) RaiseLastError();
  for (std::size_t i = 0; i < static_cast<std::size_t>(received); ++i) {
    slots[i].Length = messages[i].msg_len;
    slots[i].Error = 0;
    ReadSender(addresses[i], messages[i].msg_hdr.msg_namelen, slots[i].IP, slots[i].Port);
  }
  return static_cast<std::size_t>(received);
}

void TIdStack::SendMany(TIdStackSocketHandle socket, TIdDatagramSlot* slots, std::size_t count,
                        TIdIPVersion /*ipVersion*/) {
  std::size_t next = 0;
  while (next < count) {
    mmsghdr messages[MaxMany] = {};
    iovec vectors[MaxMany];
    sockaddr_in addresses[MaxMany];
    TIdDatagramSlot* members[MaxMany];
    std::size_t taken = 0;
    for (; next < count && taken < MaxMany; ++next) {
      TIdDatagramSlot& slot = slots[next];
      slot.Length = 0;
      addresses[taken] = {};
      if (!FillAddress(slot.IP, slot.Port, addresses[taken])) {
        slot.Error = 10049;
        continue;
      }
      vectors[taken] = {slot.Data, slot.Size};
      messages[taken].msg_hdr.msg_name = &addresses[taken];
      messages[taken].msg_hdr.msg_namelen = sizeof addresses[taken];
      messages[taken].msg_hdr.msg_iov = &vectors[taken];
      messages[taken].msg_hdr.msg_iovlen = 1;
      members[taken++] = &slot;
    }
    // sendmmsg stops at the first datagram it cannot send; that one is tried
    // again alone, which then reports its error, and the rest go on.
    for (std::size_t done = 0; done < taken;) {
      const int sent =
          ::sendmmsg(NativeSocket(socket), messages + done, static_cast<unsigned>(taken - done), MSG_NOSIGNAL);
      if (sent < 0) {
        if (errno == EINTR) continue;
        members[done++]->Error = IdStackPosix::MapErrno(errno);
        continue;
      }
      for (int i = 0; i < sent; ++i, ++done) {
        members[done]->Length = messages[done].msg_len;
        members[done]->Error = 0;
      }
    }
  }
}

void TIdStack::SetSocketOption(TIdStackSocketHandle socket, int level, int option, int value) {
  const int nativeLevel = level == Id_SOL_SOCKET ? SOL_SOCKET : level;
  const int nativeOption = level == Id_SOL_SOCKET && option == Id_SO_BROADCAST ? SO_BROADCAST : option;
  if (::setsockopt(NativeSocket(socket), nativeLevel, nativeOption, &value, sizeof value) != 0) RaiseLastError();
}

void TIdStack::Close(TIdStackSocketHandle socket) {
  Platform::ReleaseSocket(socket);
  ::shutdown(NativeSocket(socket), SHUT_WR);
  ::close(NativeSocket(socket));
}

void TIdStack::WakeBlockedCalls(TIdStackSocketHandle socket) {
  // On Linux close() does not wake a thread blocked on the socket; shutdown() does,
  // even on an unbound datagram socket (it then reports ENOTCONN, which is harmless).
  ::shutdown(NativeSocket(socket), SHUT_RDWR);
}

bool TIdStack::WaitReadable(const std::vector<TIdStackSocketHandle>& sockets, int timeoutMs) {
  std::vector<pollfd> set;
  set.reserve(sockets.size());
  for (const auto socket : sockets) set.push_back({NativeSocket(socket), POLLIN, 0});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  int remaining = timeoutMs < 0 ? -1 : timeoutMs;
  for (;;) {
    const int ready = ::poll(set.data(), set.size(), remaining);
    if (ready > 0) break;
    if (ready == 0) return false;
    if (errno != EINTR) RaiseLastError();
    if (remaining >= 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      remaining = static_cast<int>(std::max<std::int64_t>(left.count(), 0));
    }
  }
  for (const auto& entry : set)
    if (entry.revents & POLLNVAL) TIdStack::RaiseSocketError(Id_WSAENOTSOCK);
  return true;
}
