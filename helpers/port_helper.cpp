// SPDX-License-Identifier: MIT
// kestrine-port-helper: answers RFC 868 Time requests on UDP port 37 for
// Kestrine, which holds no right itself. The only file of the package with
// cap_net_bind_service. It reads one request from standard input (the address
// to bind; HelperRequest.h), asks the policy whether the user who started it
// may serve the Time protocol (Policy.h), binds, drops every capability and
// answers the result. Then it answers every Time request itself, with the
// clock's seconds since 1900, until the program closes its end of standard
// input (switches its server off, or ends).
//
// The socket never leaves this process: a socket on a port below 1024 can also
// send, and some old protocols (NFS's AUTH_SYS on "secure" ports, NIS) take a
// source port below 1024 as proof of root.
#include <arpa/inet.h>
#include <linux/capability.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "HelperMain.h"
#include "Platform/HelperRequest.h"
#include "Protocols/IdTimeSource.h"

namespace {

constexpr const char* Name = "kestrine-port-helper";
constexpr const char* Action = "org.kestrine.serve-time-protocol";
// Seconds from 1900-01-01, the protocol's epoch, to 1970-01-01.
constexpr std::uint32_t SecondsTo1970 = 2208988800u;
constexpr unsigned Batch = 64;

std::string Text(const in_addr& address) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

// Answers what is waiting on the socket, at most Batch datagrams, each with 4 bytes.
void AnswerWaiting(int socket, const std::string& local) {
  mmsghdr requests[Batch] = {};
  sockaddr_in senders[Batch];
  std::uint8_t ignored[Batch][1];
  iovec parts[Batch];
  for (unsigned i = 0; i < Batch; ++i) {
    parts[i] = {ignored[i], sizeof ignored[i]};
    requests[i].msg_hdr.msg_name = &senders[i];
    requests[i].msg_hdr.msg_namelen = sizeof senders[i];
    requests[i].msg_hdr.msg_iov = &parts[i];
    requests[i].msg_hdr.msg_iovlen = 1;
  }
  const int got = recvmmsg(socket, requests, Batch, MSG_DONTWAIT, nullptr);
  if (got <= 0) return;
  const std::uint32_t value = static_cast<std::uint32_t>(time(nullptr)) + SecondsTo1970;  // wraps as the protocol does
  const std::uint8_t reply[4] = {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                                 static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
  mmsghdr replies[Batch] = {};
  iovec replyPart{const_cast<std::uint8_t*>(reply), sizeof reply};
  unsigned count = 0;
  for (int i = 0; i < got; ++i) {
    const sockaddr_in& sender = senders[i];
    if (requests[i].msg_hdr.msg_namelen < sizeof sender || sender.sin_family != AF_INET) continue;
    if (IdTimeSource::IsRefused(ntohs(sender.sin_port), Text(sender.sin_addr), HelperRequest::TimePort, local))
      continue;
    replies[count].msg_hdr.msg_name = const_cast<sockaddr_in*>(&sender);
    replies[count].msg_hdr.msg_namelen = sizeof sender;
    replies[count].msg_hdr.msg_iov = &replyPart;
    replies[count].msg_hdr.msg_iovlen = 1;
    ++count;
  }
  // A reply that cannot leave is dropped, as the program's own server drops it.
  for (unsigned sent = 0; sent < count;) {
    const int now = sendmmsg(socket, replies + sent, count - sent, MSG_DONTWAIT);
    sent += now > 0 ? static_cast<unsigned>(now) : 1;
  }
}

// Until the program closes its end: POLLHUP comes only when both directions
// are shut, and the program shut its writing side after the request.
void Serve(int socket, const std::string& local) {
  pollfd waits[2] = {{socket, POLLIN, 0}, {0, 0, 0}};
  for (;;) {
    if (poll(waits, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (waits[1].revents != 0) return;
    if (waits[0].revents & POLLIN)
      AnswerWaiting(socket, local);
    else if (waits[0].revents != 0)
      return;
  }
}

}  // namespace

int main(int argc, char** argv) {
  Policy::TCaller caller;
  if (!Helper::Begin(argc, argv, Name, CAP_NET_BIND_SERVICE, caller)) return 0;
  std::uint8_t buffer[HelperRequest::RequestSize + 1];
  const auto request = HelperRequest::ParsePort(buffer, Helper::ReadRequest(buffer, sizeof buffer));
  if (request.Verdict != HelperRequest::TVerdict::Accepted)
    return Helper::Refuse(caller, HelperRequest::VerdictText(request.Verdict));
  if (const int refused = Helper::Authorize(caller, Action, "serve the Time protocol on port 37"); refused >= 0)
    return refused;

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(HelperRequest::TimePort);
  std::memcpy(&address.sin_addr.s_addr, request.Address.data(), request.Address.size());
  const std::string local = Text(address.sin_addr);
  const std::string what = "UDP port 37 on " + local + " for " + caller.Name;
  if (!Helper::Log(LOG_INFO, "answers Time requests on " + what)) {
    Helper::DropAll();
    Helper::WriteReply(HelperRequest::NotLogged);
    return 1;
  }
  int result = 0;
  const int socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (socket < 0 || ::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) result = errno;
  Helper::DropAll();
  if (result != 0) {
    Helper::Log(LOG_WARNING, "could not take " + what + ": " + std::strerror(result));
    Helper::WriteReply(result);
    return 1;
  }
  // The answer, then the serving, in this process: the program holds its
  // connection for as long as it wants the port served, and reaps it after.
  if (!Helper::WriteReply(0)) return 1;
  Serve(socket, local);
  Helper::Log(LOG_INFO, "stopped answering on " + what);
  return 0;
}
