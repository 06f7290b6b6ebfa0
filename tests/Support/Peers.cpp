// SPDX-License-Identifier: MIT
#include "Support/Peers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "Support/NetnsCheck.h"

extern char** environ;

namespace KestrineTest {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kReadyTimeout = std::chrono::seconds(5);

std::runtime_error SystemError(const std::string& what, int error = errno) {
  return std::runtime_error(what + ": " + std::strerror(error));
}

std::filesystem::path PeerProgram(const char* relative) {
  std::filesystem::path path = PeersDir() / relative;
  if (access(path.c_str(), X_OK) != 0)
    throw std::runtime_error(path.string() + " is missing: run scripts/fetch-peers.sh");
  return path;
}

// Starts argv[0] with stdin from /dev/null and stdout/stderr on the given descriptors.
pid_t Spawn(const std::vector<std::string>& argv, int out, int err) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out, 1);
  posix_spawn_file_actions_adddup2(&actions, err, 2);
  pid_t pid = -1;
  const int error = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(error));
  return pid;
}

std::string DescribeStatus(int status) {
  if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
  return "status " + std::to_string(status);
}

int ConnectedUdpSocket(const std::string& address, int port) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, address.c_str(), &peer.sin_addr) != 1)
    throw std::runtime_error("not an IPv4 address: " + address);
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw SystemError("UDP socket");
  if (connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof(peer)) != 0) {
    const int error = errno;
    close(fd);
    throw SystemError("connect to " + address, error);
  }
  return fd;
}

// One query at a time: a second datagram queued behind the first could be
// swallowed by xinetd and leave it busy when the test's own query arrives.
// Until the peer has bound its port the query is refused at once (ICMP on
// loopback), and only then is it sent again.
bool Answered(int fd, const std::string& request) {
  if (send(fd, request.data(), request.size(), 0) < 0) return false;
  pollfd ready{fd, POLLIN, 0};
  char answer[512];
  return poll(&ready, 1, 500) == 1 && recv(fd, answer, sizeof(answer), 0) > 0;
}

}  // namespace

std::filesystem::path PeersDir() {
  const char* dir = std::getenv("KESTRINE_PEERS_DIR");
  if (dir == nullptr || *dir == '\0')
    throw std::runtime_error("KESTRINE_PEERS_DIR is not set: run the tests through ctest (scripts/test.sh)");
  return dir;
}

PeerProcess::PeerProcess() {
  RequirePrivateNetwork();
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/kestrine-peer-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw SystemError("mkdtemp " + pattern);
  FFolder = pattern;
}

PeerProcess::~PeerProcess() {
  Stop();
  std::error_code ignored;
  std::filesystem::remove_all(FFolder, ignored);
}

std::string PeerProcess::Log() const {
  std::ifstream file(FFolder / "log");
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

void PeerProcess::Start(const std::vector<std::string>& argv) {
  FName = std::filesystem::path(argv.at(0)).filename().string();
  const int log = open((FFolder / "log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (log < 0) throw SystemError("cannot create " + (FFolder / "log").string());
  try {
    FPid = Spawn(argv, log, log);
  } catch (...) {
    close(log);
    throw;
  }
  close(log);
}

void PeerProcess::WaitUntilAnswering(const std::string& address, int port, const std::string& request) {
  const int fd = ConnectedUdpSocket(address, port);
  const auto deadline = Clock::now() + kReadyTimeout;
  std::string problem = "did not answer on " + address + ":" + std::to_string(port) + " within 5 s";
  bool ready = false;
  while (!ready && Clock::now() < deadline) {
    int status = 0;
    if (waitpid(FPid, &status, WNOHANG) == FPid) {
      FPid = -1;
      problem = "exited at once (" + DescribeStatus(status) + ")";
      break;
    }
    ready = Answered(fd, request);
    if (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  close(fd);
  if (!ready) throw std::runtime_error(FName + " (in " + FFolder.string() + ") " + problem + "; its log:\n" + Log());
  // After each answer xinetd reads and discards one more datagram if one is
  // already there: give it that moment before the test sends its own query.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

void PeerProcess::Stop() noexcept {
  if (FPid <= 0) return;
  kill(FPid, SIGTERM);
  const auto deadline = Clock::now() + std::chrono::seconds(3);
  int status = 0;
  while (waitpid(FPid, &status, WNOHANG) == 0) {
    if (Clock::now() >= deadline) {
      kill(FPid, SIGKILL);
      waitpid(FPid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  FPid = -1;
}

ChronyPeer::ChronyPeer(const std::string& address) {
  const std::filesystem::path program = PeerProgram("usr/sbin/chronyd");
  const std::filesystem::path config = Folder() / "chrony.conf";
  std::ofstream(config) << "local stratum 1\n"
                        << "allow 127.0.0.0/8\n"
                        << "allow " << address << "\n"
                        << "bindaddress " << address << "\n"
                        << "cmdport 0\n"
                        << "bindcmdaddress /\n"  // no command socket either
                        << "pidfile " << (Folder() / "chronyd.pid").string() << "\n";
  // -d: foreground, log to stderr; -x: never touch the clock; -4: IPv4 only;
  // -u root: the package is never installed, so there is no _chrony user to
  // drop to (and the user namespace maps only root).
  Start({program.string(), "-d", "-x", "-4", "-u", "root", "-f", config.string()});
  std::string request(48, '\0');
  request[0] = 0x1B;  // version 3, client
  WaitUntilAnswering(address, 123, request);
}

XinetdPeer::XinetdPeer(const std::string& address) {
  const std::filesystem::path program = PeerProgram("usr/sbin/xinetd");
  const std::filesystem::path config = Folder() / "xinetd.conf";
  // Its default rate limit (50 per second) turns the service off for 10 s.
  std::ofstream(config) << "service time\n{\n"
                        << "  type = INTERNAL\n"
                        << "  id = time-dgram\n"
                        << "  socket_type = dgram\n"
                        << "  protocol = udp\n"
                        << "  wait = yes\n"
                        << "  user = root\n"
                        << "  bind = " << address << "\n"
                        << "  port = 37\n"
                        << "  cps = 100000 1\n"
                        << "}\n";
  Start({program.string(), "-dontfork", "-f", config.string(), "-pidfile", (Folder() / "xinetd.pid").string()});
  WaitUntilAnswering(address, 37, std::string());
}

std::string RunRdate(const std::string& host, int timeoutSeconds) {
  RequirePrivateNetwork();
  const std::filesystem::path program = PeerProgram("usr/sbin/rdate");
  int out[2];
  int err[2];
  if (pipe2(out, O_CLOEXEC) != 0) throw SystemError("pipe");
  if (pipe2(err, O_CLOEXEC) != 0) {
    const int error = errno;
    close(out[0]);
    close(out[1]);
    throw SystemError("pipe", error);
  }
  pid_t pid = -1;
  try {
    pid = Spawn({program.string(), "-p", "-u", host}, out[1], err[1]);
  } catch (...) {
    for (int fd : {out[0], out[1], err[0], err[1]}) close(fd);
    throw;
  }
  close(out[1]);
  close(err[1]);

  // rdate has no time-out of its own: read until both pipes close or time runs out.
  std::string text[2];
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0 || poll(fds, 2, static_cast<int>(left)) == 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char chunk[256];
      const ssize_t n = read(fds[i].fd, chunk, sizeof(chunk));
      if (n > 0)
        text[i].append(chunk, static_cast<size_t>(n));
      else {
        close(fds[i].fd);
        fds[i].fd = -1;
      }
    }
  }
  const bool timedOut = fds[0].fd >= 0 || fds[1].fd >= 0;
  for (const pollfd& p : fds) {
    if (p.fd >= 0) close(p.fd);
  }
  if (timedOut) kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  const std::string command = "rdate -p -u " + host;
  if (timedOut) throw std::runtime_error(command + " gave no answer within " + std::to_string(timeoutSeconds) + " s");
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error(command + " failed (" + DescribeStatus(status) + "): " + text[1]);
  return text[0];
}

}  // namespace KestrineTest
