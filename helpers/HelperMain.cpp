#include "HelperMain.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Platform/HelperRequest.h"

namespace Helper {
namespace {

constexpr int RequestTimeoutMs = 5000;

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

bool Begin(int argc, char** argv, const char* name, int capability, std::string& caller) {
  Harden();
  if (VersionAsked(argc, argv, name)) return false;
  KeepOnly(capability);
  openlog(name, LOG_PID, LOG_AUTHPRIV);
  caller = Caller();
  return true;
}

int Refuse(const std::string& caller, const char* why) {
  DropAll();
  syslog(LOG_WARNING, "refused a request of %s: %s; nothing was done", caller.c_str(), why);
  WriteReply(EINVAL);
  return 1;
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

bool WriteReply(std::int32_t result, int descriptor) {
  auto reply = HelperRequest::EncodeReply(result);
  if (descriptor < 0) return write(1, reply.data(), reply.size()) == static_cast<ssize_t>(reply.size());
  iovec part{reply.data(), reply.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  msghdr message{};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  header->cmsg_level = SOL_SOCKET;
  header->cmsg_type = SCM_RIGHTS;
  header->cmsg_len = CMSG_LEN(sizeof(int));
  std::memcpy(CMSG_DATA(header), &descriptor, sizeof descriptor);
  return sendmsg(1, &message, MSG_NOSIGNAL) == static_cast<ssize_t>(reply.size());
}

std::string Caller() {
  const uid_t uid = getuid();
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
