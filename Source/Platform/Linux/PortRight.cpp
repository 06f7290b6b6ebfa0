// SPDX-License-Identifier: MIT
#include "Platform/PortRight.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

#include "Platform/ExePath.h"
#include "Platform/Linux/Helpers.h"

namespace Platform {
namespace {

// The sockets that stand for a port the port helper serves, with the
// connection that keeps it serving: the port's socket never leaves the helper,
// which could otherwise send from a port below 1024 for the program.
struct TService {
  int Connection = -1;
  pid_t Pid = -1;
  TIPv4Address Address{};
  std::uint16_t Port = 0;
};
std::mutex GServicesLock;
std::map<TSocketId, TService> GServices;

// Starts the port helper for the Time protocol's port; false when the port is
// another or the helper refused or is missing. The helper stops when its
// connection closes (ReleaseSocket) or the program ends.
bool ServeThroughHelper(TSocketId socket, const TIPv4Address& address, std::uint16_t port) {
  if (port != HelperRequest::TimePort) return false;
  const Helpers::TOutcome outcome = Helpers::Run(Helpers::HelperPath(ExecutablePath(), Helpers::PortHelperName),
                                                 HelperRequest::EncodePort(address, port), true);
  if (outcome.Connection < 0) return false;
  TService replaced;
  {
    const std::lock_guard hold(GServicesLock);
    if (const auto old = GServices.find(socket); old != GServices.end()) replaced = old->second;
    GServices[socket] = {outcome.Connection, outcome.Pid, address, port};
  }
  if (replaced.Connection >= 0) Helpers::EndHelper(replaced.Connection, replaced.Pid);
  return true;
}

}  // namespace

int BindSocket(TSocketId socket, const TIPv4Address& address, std::uint16_t port) {
  sockaddr_in native{};
  native.sin_family = AF_INET;
  native.sin_port = htons(port);
  std::memcpy(&native.sin_addr.s_addr, address.data(), address.size());  // both in network order
  if (::bind(static_cast<int>(socket), reinterpret_cast<const sockaddr*>(&native), sizeof native) == 0) return 0;
  const int refusal = errno;
  if ((refusal == EACCES || refusal == EPERM) && port > 0 && port < 1024 && ServeThroughHelper(socket, address, port))
    return 0;
  return refusal;
}

int BoundAddress(TSocketId socket, TIPv4Address& address, std::uint16_t& port) {
  {
    const std::lock_guard hold(GServicesLock);
    if (const auto found = GServices.find(socket); found != GServices.end()) {
      address = found->second.Address;
      port = found->second.Port;
      return 0;
    }
  }
  sockaddr_in native{};
  socklen_t length = sizeof native;
  if (::getsockname(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&native), &length) != 0) return errno;
  std::memcpy(address.data(), &native.sin_addr.s_addr, address.size());
  port = ntohs(native.sin_port);
  return 0;
}

void ReleaseSocket(TSocketId socket) {
  TService ended;
  {
    const std::lock_guard hold(GServicesLock);
    const auto found = GServices.find(socket);
    if (found == GServices.end()) return;
    ended = found->second;
    GServices.erase(found);
  }
  Helpers::EndHelper(ended.Connection, ended.Pid);  // it sees its standard input hang up and stops
}

}  // namespace Platform
