// SPDX-License-Identifier: MIT
#include "System/IdStack.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>

#include "System/IdDottedQuad.h"
#include "System/IdException.h"

namespace {

std::mutex& UsageLock() {
  static auto* lock = new std::mutex;  // never destroyed: late threads may still count down
  return *lock;
}
int GUsage = 0;
TIdStack* GStack = nullptr;

struct TErrorText {
  int Number;
  const char* Text;
};

constexpr TErrorText ErrorTexts[] = {
    {10004, "Interrupted system call."},
    {10009, "Bad file number."},
    {10013, "Access denied."},
    {10014, "Buffer fault."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block."},
    {10036, "Operation now in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on non-socket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Bad protocol option."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported on socket."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Cannot assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Net dropped connection or reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send or receive after socket is closed."},
    {10059, "Too many references, cannot splice."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10062, "Too many levels of symbolic links."},
    {10063, "File name too long."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10066, "Directory not empty"},
    {11001, "Host not found."},
};

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  const std::string other(b);
  return a.size() == other.size() && std::equal(a.begin(), a.end(), other.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

}  // namespace

void TIdStack::IncUsage() {
  std::lock_guard guard(UsageLock());
  if (GUsage++ == 0) {
    IdStackPlatform::Startup();
    GStack = new TIdStack;
  }
}

void TIdStack::DecUsage() {
  std::lock_guard guard(UsageLock());
  if (GUsage > 0 && --GUsage == 0) {
    delete GStack;
    GStack = nullptr;
    IdStackPlatform::Cleanup();
  }
}

TIdStack& TIdStack::Instance() {
  std::lock_guard guard(UsageLock());
  if (GStack == nullptr) throw EIdStackError("The socket stack is not available.");
  return *GStack;
}

std::string TIdStack::ResolveAddress(const std::string& host, TIdIPVersion /*ipVersion*/) {
  // Only IPv4 is used; an IPv6 request is answered the same way.
  if (EqualsIgnoringCase(host, "LOCALHOST")) return "127.0.0.1";
  if (ParseDottedQuad(host)) return host;
  std::string address;
  const int error = IdStackPlatform::LookupIPv4(host, address);
  if (error != 0) RaiseSocketError(error);
  return address;
}

std::string TIdStack::SocketErrorText(int errorNumber) {
  for (const auto& entry : ErrorTexts)
    if (entry.Number == errorNumber) return entry.Text;
  return {};
}

std::string TIdStack::SocketErrorMessage(int errorNumber) {
  return "Socket Error # " + std::to_string(errorNumber) + "\r\n" + SocketErrorText(errorNumber);
}

void TIdStack::RaiseSocketError(int errorNumber) {
  if (errorNumber == Id_WSAENOTSOCK) throw EIdNotASocket(errorNumber, SocketErrorMessage(errorNumber));
  throw EIdSocketError(errorNumber, SocketErrorMessage(errorNumber));
}

std::uint16_t TIdStack::HostToNetwork(std::uint16_t value) {
  const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
  std::uint16_t result;
  std::copy(bytes, bytes + 2, reinterpret_cast<std::uint8_t*>(&result));
  return result;
}

std::uint32_t TIdStack::HostToNetwork(std::uint32_t value) {
  const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                                 static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
  std::uint32_t result;
  std::copy(bytes, bytes + 4, reinterpret_cast<std::uint8_t*>(&result));
  return result;
}

std::uint16_t TIdStack::NetworkToHost(std::uint16_t value) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
  return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

std::uint32_t TIdStack::NetworkToHost(std::uint32_t value) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
  return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
         static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
}
