// kestrine-port-helper: binds a UDP socket to the Time protocol's port 37 for
// Kestrine, which holds no right itself. The only file of the package with
// cap_net_bind_service. It reads one request from standard input (the address
// to bind; HelperRequest.h), binds, hands the socket back over its standard
// output, a Unix socket, and exits. Nothing else: no other port or protocol.
#include <arpa/inet.h>
#include <linux/capability.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "HelperMain.h"
#include "Platform/HelperRequest.h"

namespace {

constexpr const char* Name = "kestrine-port-helper";

}  // namespace

int main(int argc, char** argv) {
  std::string caller;
  if (!Helper::Begin(argc, argv, Name, CAP_NET_BIND_SERVICE, caller)) return 0;
  std::uint8_t buffer[HelperRequest::RequestSize + 1];
  const auto request = HelperRequest::ParsePort(buffer, Helper::ReadRequest(buffer, sizeof buffer));
  if (request.Verdict != HelperRequest::TVerdict::Accepted)
    return Helper::Refuse(caller, HelperRequest::VerdictText(request.Verdict));

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(HelperRequest::TimePort);
  std::memcpy(&address.sin_addr.s_addr, request.Address.data(), request.Address.size());
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);

  int result = 0;
  const int socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (socket < 0 || ::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) result = errno;
  Helper::DropAll();
  if (result == 0)
    syslog(LOG_INFO, "bound UDP port 37 on %s for %s", text, caller.c_str());
  else
    syslog(LOG_WARNING, "could not bind UDP port 37 on %s for %s: %s", text, caller.c_str(), std::strerror(result));
  const bool delivered = Helper::WriteReply(result, result == 0 ? socket : -1);
  if (socket >= 0) close(socket);
  return result == 0 && delivered ? 0 : 1;
}
