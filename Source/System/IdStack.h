// SPDX-License-Identifier: MIT
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class TIdIPVersion { Id_IPv4, Id_IPv6 };
using enum TIdIPVersion;

using TIdBytes = std::vector<std::uint8_t>;
using TIdStackSocketHandle = std::intptr_t;
constexpr TIdStackSocketHandle Id_INVALID_SOCKET = -1;

// Socket types, levels and options in the stack's own numbering; the platform
// file maps them.
constexpr int Id_SOCK_DGRAM = 2;
constexpr int Id_SOL_SOCKET = 0xFFFF;
constexpr int Id_SO_BROADCAST = 0x0020;

// Windows Sockets error numbers used by the layer itself.
constexpr int Id_WSAEINTR = 10004;
constexpr int Id_WSAENOTSOCK = 10038;
constexpr int Id_WSAEMSGSIZE = 10040;
constexpr int Id_WSAHOST_NOT_FOUND = 11001;

// Time-out values in milliseconds: positive limits, these two are special.
constexpr int IdTimeoutDefault = -1;   // the endpoint's ReceiveTimeout
constexpr int IdTimeoutInfinite = -2;  // no limit

// One datagram of a batch. To receive: Data and Size name the buffer, and the call
// fills Length (the datagram's full length, above Size when it was cut), the
// sender and Error. To send: Data and Size name the bytes, IP and Port the
// destination, and the call fills Length (bytes sent) and Error.
struct TIdDatagramSlot {
  std::uint8_t* Data = nullptr;
  std::size_t Size = 0;
  std::size_t Length = 0;
  std::string IP;
  int Port = 0;
  int Error = 0;  // Windows Sockets numbering; 0 when the datagram went through
};

// One object per process behind every socket call. It lives while at least one
// network component exists (IncUsage/DecUsage).
class TIdStack {
public:
  static void IncUsage();
  static void DecUsage();
  static TIdStack& Instance();

  // LOCALHOST (in any case) is 127.0.0.1 and a dotted quad is itself, both
  // without a lookup; anything else goes to the system's resolver.
  std::string ResolveAddress(const std::string& host, TIdIPVersion ipVersion);

  TIdStackSocketHandle NewSocketHandle(int socketType, int protocol, TIdIPVersion ipVersion);
  void Bind(TIdStackSocketHandle socket, const std::string& ip, int port, TIdIPVersion ipVersion);
  void GetSocketName(TIdStackSocketHandle socket, std::string& ip, int& port);
  // Returns the bytes sent; raises the socket error on failure.
  std::size_t SendTo(TIdStackSocketHandle socket, const std::uint8_t* data, std::size_t length, const std::string& ip,
                     int port, TIdIPVersion ipVersion);
  // Returns the datagram's full length, which exceeds the buffer when it was cut;
  // where the system cannot tell that length (Windows), a cut datagram raises 10040
  // with the sender filled in. The sender is dotted-decimal text. Raises the socket
  // error on failure.
  std::size_t ReceiveFrom(TIdStackSocketHandle socket, std::uint8_t* buffer, std::size_t length, std::string& ip,
                          int& port, TIdIPVersion ipVersion, bool dontWait = false);
  // Takes the datagrams already waiting, up to count, in one system call where the
  // system has one; waits for the first unless dontWait. Raises the socket error
  // when not even the first could be taken. A later failure ends the batch: it is
  // either counted in the slot after the last datagram, with its Error set, or
  // raised by the next call.
  std::size_t ReceiveMany(TIdStackSocketHandle socket, TIdDatagramSlot* slots, std::size_t count,
                          TIdIPVersion ipVersion, bool dontWait = false);
  // Sends every slot, together where the system can; a failure is recorded in its
  // slot and the others still go.
  void SendMany(TIdStackSocketHandle socket, TIdDatagramSlot* slots, std::size_t count, TIdIPVersion ipVersion);
  void SetSocketOption(TIdStackSocketHandle socket, int level, int option, int value);
  // Shuts down the sending direction, then closes; reports nothing.
  void Close(TIdStackSocketHandle socket);
  // Makes a receive or wait blocked on the socket in another thread return now.
  void WakeBlockedCalls(TIdStackSocketHandle socket);
  // True when any socket is readable before the time-out (ms; negative: no limit).
  bool WaitReadable(const std::vector<TIdStackSocketHandle>& sockets, int timeoutMs);

  static std::uint16_t HostToNetwork(std::uint16_t value);
  static std::uint32_t HostToNetwork(std::uint32_t value);
  static std::uint16_t NetworkToHost(std::uint16_t value);
  static std::uint32_t NetworkToHost(std::uint32_t value);

  // The error rule: raises EIdNotASocket for 10038, EIdSocketError otherwise,
  // with "Socket Error # %d\r\n%s".
  [[noreturn]] static void RaiseSocketError(int errorNumber);
  static std::string SocketErrorText(int errorNumber);
  static std::string SocketErrorMessage(int errorNumber);
};

// Calls into the platform's socket interface; implemented once per OS family.
namespace IdStackPlatform {
void Startup();
void Cleanup();
// Looks a host up; returns 0 and the first IPv4 address, or the error number.
int LookupIPv4(const std::string& host, std::string& address);
}  // namespace IdStackPlatform
