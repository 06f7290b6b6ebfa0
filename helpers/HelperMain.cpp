// SPDX-License-Identifier: MIT
#include "HelperMain.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "Platform/HelperRequest.h"

namespace Helper {
namespace {

constexpr int RequestTimeoutMs = 5000;
// With an agent's password dialog in between, polkit answers when the user has.
constexpr int PolicyTimeoutMs = 110000;

int GLog = -1;
const char* GLogName = "";

struct TCapabilities {
  __user_cap_header_struct Header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct Data[_LINUX_CAPABILITY_U32S_3]{};
};

bool Read(TCapabilities& caps) { return syscall(SYS_capget, &caps.Header, caps.Data) == 0; }
bool Write(TCapabilities& caps) { return syscall(SYS_capset, &caps.Header, caps.Data) == 0; }

std::uint32_t Bit(int capability) { return 1u << (capability % 32); }

}  // namespace

void Harden() {
  for (int fd = 0; fd <= 2; ++fd) {
    struct stat status {};
    if (fstat(fd, &status) != 0) {
      const int opened = open("/dev/null", O_RDWR);
      if (opened != fd) _exit(127);  // descriptors 0-2 cannot be made safe
    }
  }
  syscall(SYS_close_range, 3u, ~0u, 0u);
  clearenv();
  for (int signal = 1; signal < NSIG; ++signal) {
    if (signal == SIGKILL || signal == SIGSTOP) continue;
    std::signal(signal, SIG_DFL);
  }
  std::signal(SIGPIPE, SIG_IGN);  // a caller gone before the reply is a failed write, not a death
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  umask(077);
  prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
  prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
  prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

bool VersionAsked(int argc, char** argv, const char* name) {
  if (argc != 2 || std::strcmp(argv[1], "--version") != 0) return false;
  std::printf("%s %s\n", name, KESTRINE_VERSION);
  return true;
}

bool Begin(int argc, char** argv, const char* name, int capability, Policy::TCaller& caller) {
  Harden();
  if (VersionAsked(argc, argv, name)) return false;
  KeepOnly(capability);
  if (!OpenLog(name)) {
    DropAll();
    WriteReply(HelperRequest::NotLogged);
    _exit(1);
  }
  caller = IdentifyCaller();
  return true;
}

int Refuse(const Policy::TCaller& caller, const char* why) {
  DropAll();
  Log(LOG_WARNING, "refused a request of " + caller.Name + ": " + why + "; nothing was done");
  WriteReply(EINVAL);
  return 1;
}

int Authorize(const Policy::TCaller& caller, const char* actionId, const char* what) {
  const Policy::TDecision decision = Policy::Decide(caller, [actionId](const Polkit::TSubject& subject) {
    return Polkit::Check(actionId, subject, true, PolicyTimeoutMs);
  });
  if (decision.Allowed) return -1;
  DropAll();
  Log(LOG_WARNING, "refused to " + std::string(what) + " for " + caller.Name + ": " + decision.Why);
  WriteReply(decision.Refusal);
  return 1;
}

bool OpenLog(const char* name) {
  GLogName = name;
  GLog = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, "/dev/log");
  // A log that takes no line within this time is as good as none.
  timeval limit{2, 0};
  if (GLog < 0 || setsockopt(GLog, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) != 0 ||
      connect(GLog, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (GLog >= 0) close(GLog);
    GLog = -1;
    return false;
  }
  return true;
}

// The traditional form the log daemons read: <priority>timestamp name[pid]: text.
bool Log(int priority, const std::string& text) {
  if (GLog < 0) return false;
  const time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  strftime(stamp, sizeof stamp, "%b %e %T", &local);
  const std::string line = "<" + std::to_string(LOG_AUTHPRIV | priority) + ">" + stamp + " " + GLogName + "[" +
                           std::to_string(getpid()) + "]: " + text;
  ssize_t sent;
  do sent = send(GLog, line.data(), line.size(), MSG_NOSIGNAL);
  while (sent < 0 && errno == EINTR);
  return sent == static_cast<ssize_t>(line.size());
}

void KeepOnly(int capability) {
  TCapabilities caps;
  if (!Read(caps)) return DropAll();
  const int word = capability / 32;
  const bool held = (caps.Data[word].permitted & Bit(capability)) != 0;
  for (auto& data : caps.Data) data = {};
  if (held) caps.Data[word].effective = caps.Data[word].permitted = Bit(capability);
  if (!Write(caps)) DropAll();
}

void DropAll() {
  TCapabilities caps;
  Write(caps);
}

bool HasEffective(int capability) {
  TCapabilities caps;
  return Read(caps) && (caps.Data[capability / 32].effective & Bit(capability)) != 0;
}

std::size_t ReadRequest(std::uint8_t* buffer, std::size_t size) {
  std::size_t have = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(RequestTimeoutMs);
  while (have < size) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd wait{0, POLLIN, 0};
    const int ready = poll(&wait, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    const ssize_t got = read(0, buffer + have, size - have);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    have += static_cast<std::size_t>(got);
  }
  return have;
}

bool WriteReply(std::int32_t result) {
  const auto reply = HelperRequest::EncodeReply(result);
  ssize_t written;
  do written = write(1, reply.data(), reply.size());
  while (written < 0 && errno == EINTR);
  return written == static_cast<ssize_t>(reply.size());
}

namespace {

// Field 22 of /proc/<pid>/stat, the start time in ticks since boot; 0 when
// unreadable. The name in field 2 may hold anything, so counting starts after
// its last ')'.
std::uint64_t StartTime(pid_t pid) {
  const std::string path = "/proc/" + std::to_string(pid) + "/stat";
  const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) return 0;
  char text[1024];
  const ssize_t got = read(file, text, sizeof text - 1);
  close(file);
  if (got <= 0) return 0;
  text[got] = '\0';
  const char* field = std::strrchr(text, ')');
  if (field == nullptr) return 0;
  // After ')' come field 3 (the state) onwards: 20 more spaces lead to field 22.
  for (int spaces = 0; *field != '\0' && spaces < 20; ++field)
    if (*field == ' ') ++spaces;
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(field, &end, 10);
  return errno == 0 && end != field && *end == ' ' ? value : 0;
}

}  // namespace

Policy::TCaller IdentifyCaller() {
  Policy::TCaller caller;
  caller.Uid = getuid();
  caller.Name = AccountName(caller.Uid);
  ucred peer{};
  socklen_t length = sizeof peer;
  if (getsockopt(0, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.pid <= 0 || peer.pid != getppid() ||
      peer.uid != caller.Uid)
    return caller;
  const std::uint64_t started = StartTime(peer.pid);
  // Still our parent: the stat read was its own, not a later process's with its pid.
  if (started == 0 || getppid() != peer.pid) return caller;
  caller.Identified = true;
  caller.Subject = {static_cast<std::uint32_t>(peer.pid), started, static_cast<std::uint32_t>(caller.Uid)};
  return caller;
}

std::string AccountName(uid_t uid) {
  std::string result = "uid " + std::to_string(uid);
  FILE* passwd = std::fopen("/etc/passwd", "re");
  if (passwd == nullptr) return result;
  char line[1024];
  while (std::fgets(line, sizeof line, passwd) != nullptr) {
    // name:password:uid:...
    char* firstColon = std::strchr(line, ':');
    char* secondColon = firstColon ? std::strchr(firstColon + 1, ':') : nullptr;
    if (secondColon == nullptr) continue;
    char* end = nullptr;
    errno = 0;
    const unsigned long number = std::strtoul(secondColon + 1, &end, 10);
    if (errno != 0 || end == secondColon + 1 || *end != ':' || number != uid) continue;
    std::string name(line, firstColon);
    // The log shows the name as it is only when it is an ordinary user name.
    if (name.empty() || name.size() > 64 ||
        name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-") !=
            std::string::npos)
      break;
    result = name + " (" + result + ")";
    break;
  }
  std::fclose(passwd);
  return result;
}

}  // namespace Helper
