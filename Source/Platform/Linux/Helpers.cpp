#include "Platform/Linux/Helpers.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>

#include "Platform/ExePath.h"

namespace Platform::Helpers {
namespace {

// A helper that has not answered by then is stuck: it is killed and counts as missing.
constexpr int ReplyTimeoutMs = 5000;

std::string Directory(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool SendAll(int socket, const std::uint8_t* data, std::size_t length) {
  while (length > 0) {
    const ssize_t sent = ::send(socket, data, length, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    data += sent;
    length -= static_cast<std::size_t>(sent);
  }
  return true;
}

// Reads the reply and any descriptor that comes with it, until the reply is
// whole, the helper closes its end, or the time is up.
void ReceiveReply(int socket, TOutcome& outcome) {
  HelperRequest::TReply reply{};
  std::size_t have = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ReplyTimeoutMs);
  while (have < reply.size()) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd wait{socket, POLLIN, 0};
    const int ready = left.count() > 0 ? ::poll(&wait, 1, static_cast<int>(left.count())) : 0;
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return;
    iovec part{reply.data() + have, reply.size() - have};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t got = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;
    have += static_cast<std::size_t>(got);
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
      if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS || c->cmsg_len != CMSG_LEN(sizeof(int))) continue;
      int descriptor = -1;
      std::memcpy(&descriptor, CMSG_DATA(c), sizeof descriptor);
      if (outcome.Descriptor >= 0) ::close(outcome.Descriptor);  // only the last one counts
      outcome.Descriptor = descriptor;
    }
    if (message.msg_flags & MSG_CTRUNC) return;
  }
  outcome.Answered = true;
  outcome.Result = HelperRequest::ParseReply(reply);
}

void Reap(pid_t child, bool answered) {
  if (!answered) ::kill(child, SIGKILL);
  while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

std::string HelperPath(const std::string& programPath, const char* name) {
  std::string prefix = Directory(Directory(programPath));
  if (prefix == "/") prefix.clear();
  return prefix + "/libexec/kestrine/" + name;
}

TOutcome Run(const std::string& path, const HelperRequest::TRequest& request) {
  TOutcome outcome;
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return outcome;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pair[1], 0);
  posix_spawn_file_actions_adddup2(&actions, pair[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  const std::string name = path.substr(path.find_last_of('/') + 1);
  char* const arguments[] = {const_cast<char*>(name.c_str()), nullptr};
  char* const environment[] = {nullptr};
  pid_t child = -1;
  const int spawned = ::posix_spawn(&child, path.c_str(), &actions, nullptr, arguments, environment);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pair[1]);
  if (spawned == 0) {
    // The end of the request tells the helper that nothing follows.
    if (SendAll(pair[0], request.data(), request.size())) {
      ::shutdown(pair[0], SHUT_WR);
      ReceiveReply(pair[0], outcome);
    }
    Reap(child, outcome.Answered);
  }
  ::close(pair[0]);
  return outcome;
}

int SetClockThroughHelper(std::int64_t stepMs) {
  const TOutcome outcome = Run(HelperPath(ExecutablePath(), ClockHelperName), HelperRequest::EncodeClock(stepMs));
  if (outcome.Descriptor >= 0) ::close(outcome.Descriptor);
  return outcome.Answered ? outcome.Result : -1;
}

int BindThroughHelper(int socket, const sockaddr_in& address) {
  if (ntohs(address.sin_port) != HelperRequest::TimePort) return -1;
  std::array<std::uint8_t, 4> ip{};
  std::memcpy(ip.data(), &address.sin_addr.s_addr, ip.size());
  const TOutcome outcome =
      Run(HelperPath(ExecutablePath(), PortHelperName), HelperRequest::EncodePort(ip, HelperRequest::TimePort));
  if (outcome.Descriptor < 0) return -1;
  int result = -1;
  if (outcome.Answered && outcome.Result == 0) {
    // The bound socket takes the unbound one's number, so every holder of that number keeps it.
    int type = 0;
    socklen_t length = sizeof type;
    sockaddr_in bound{};
    socklen_t boundLength = sizeof bound;
    if (::getsockopt(outcome.Descriptor, SOL_SOCKET, SO_TYPE, &type, &length) == 0 && type == SOCK_DGRAM &&
        ::getsockname(outcome.Descriptor, reinterpret_cast<sockaddr*>(&bound), &boundLength) == 0 &&
        bound.sin_family == AF_INET && bound.sin_port == address.sin_port &&
        ::dup3(outcome.Descriptor, socket, O_CLOEXEC) == socket)
      result = 0;
  }
  ::close(outcome.Descriptor);
  return result;
}

}  // namespace Platform::Helpers
