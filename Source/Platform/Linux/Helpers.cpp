// SPDX-License-Identifier: MIT
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

namespace Platform::Helpers {
namespace {

// A helper that has not answered by then is stuck: it is killed and counts as
// missing. It may wait up to 110 s for polkit, while an administrator types a
// password into the desktop's dialog.
constexpr int ReplyTimeoutMs = 120000;

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

// Reads the reply until it is whole, the helper closes its end, or the time is up.
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
    const ssize_t got = ::recv(socket, reply.data() + have, reply.size() - have, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;
    have += static_cast<std::size_t>(got);
  }
  outcome.Answered = true;
  outcome.Result = HelperRequest::ParseReply(reply);
}

void Reap(pid_t child, bool answered) {
  if (!answered) ::kill(child, SIGKILL);
  while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
}

// A helper told to stop ends at once; one that does not (stopped by its user,
// say) must not hold up the window's thread.
void ReapSoon(pid_t child) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (::waitpid(child, nullptr, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) return Reap(child, false);
    ::usleep(1000);
  }
}

}  // namespace

std::string HelperPath(const std::string& programPath, const char* name) {
  std::string prefix = Directory(Directory(programPath));
  if (prefix == "/") prefix.clear();
  return prefix + "/libexec/kestrine/" + name;
}

TOutcome Run(const std::string& path, const HelperRequest::TRequest& request, bool keepConnection) {
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
    // The end of the request tells the helper that nothing follows. A helper
    // may refuse before it reads anything (no system log) and be gone by the
    // time the request is sent: its answer is read all the same.
    SendAll(pair[0], request.data(), request.size());
    ::shutdown(pair[0], SHUT_WR);
    ReceiveReply(pair[0], outcome);
    if (keepConnection && outcome.Answered && outcome.Result == 0) {
      outcome.Connection = pair[0];
      outcome.Pid = child;
      return outcome;
    }
    Reap(child, outcome.Answered);
  }
  ::close(pair[0]);
  return outcome;
}

void EndHelper(int connection, pid_t pid) {
  ::close(connection);
  if (pid > 0) ReapSoon(pid);
}

}  // namespace Platform::Helpers
