// SPDX-License-Identifier: MIT
#include "Platform/InstanceClaim.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace Platform {
namespace {

// A folder that is this user's and no one else's, so no other user can take
// the claim first: $XDG_RUNTIME_DIR, as the desktop makes it, else a folder of
// ours in /tmp, made and checked the same way. Empty when neither can be trusted
// (someone else made that folder): the program then runs on its own.
bool OnlyOurs(const std::string& path) {
  struct stat status {};
  return lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == getuid() &&
         (status.st_mode & 077) == 0;
}

std::string PrivateFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/' && OnlyOurs(runtime)) return runtime;
  const std::string folder = "/tmp/kestrine-" + std::to_string(getuid());
  mkdir(folder.c_str(), 0700);  // refused when it is there already, whoever made it
  return OnlyOurs(folder) ? folder : std::string();
}

// The scope (a display's name) as part of a file name.
std::string FilePart(const std::string& scope) {
  std::string part = scope.substr(0, 64);
  for (char& c : part)
    if (std::strchr("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789.:-", c) == nullptr || c == '\0')
      c = '_';
  return part;
}

bool AddressOf(const std::string& path, sockaddr_un& address) {
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  address = {};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.data(), path.size());
  return true;
}

bool SameUser(int socket) {
  ucred peer{};
  socklen_t length = sizeof peer;
  return getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && peer.uid == getuid();
}

}  // namespace

// The first start holds a lock on a file beside the socket for its life; the
// kernel lets it go when the program ends however it ends, so a socket left by
// a crash never stands in a later start's way.
TInstanceClaim::TInstanceClaim(const std::string& scope) {
  const std::string folder = PrivateFolder();
  if (folder.empty()) return;
  const std::string base = folder + "/kestrine-" + FilePart(scope);
  sockaddr_un address{};
  if (!AddressOf(base + ".socket", address)) return;
  FLock = open((base + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (FLock < 0) return;
  if (flock(FLock, LOCK_EX | LOCK_NB) != 0) {
    FFirst = errno != EWOULDBLOCK;  // without a lock at all, run on our own
    close(FLock);
    FLock = -1;
    FName = base + ".socket";
    return;
  }
  FName = base + ".socket";
  unlink(FName.c_str());  // a first that crashed left it
  FListener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (FListener >= 0 && bind(FListener, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
      listen(FListener, 8) == 0)
    return;
  if (FListener >= 0) close(FListener);
  FListener = -1;  // the first, though deaf to later starts
}

TInstanceClaim::~TInstanceClaim() {
  if (FListener >= 0) {
    unlink(FName.c_str());
    close(FListener);
  }
  if (FLock >= 0) close(FLock);
}

bool TInstanceClaim::CallFirst() {
  sockaddr_un address{};
  if (!AddressOf(FName, address)) return false;
  const char call = 'S';
  // The first may hold its lock a moment before it listens.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  for (;;) {
    const int caller = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (caller < 0) return false;
    if (connect(caller, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      bool answered = false;
      if (SameUser(caller) && send(caller, &call, 1, MSG_NOSIGNAL) == 1) {
        // The first closes its end once it has taken the call.
        pollfd wait{caller, POLLIN, 0};
        char reply = 0;
        answered = poll(&wait, 1, 2000) == 1 && recv(caller, &reply, 1, 0) == 0;
      }
      close(caller);
      return answered;
    }
    const bool notYet = errno == ENOENT || errno == ECONNREFUSED;
    close(caller);
    if (!notYet || std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool TInstanceClaim::TakeCalls() {
  bool called = false;
  for (;;) {
    const int caller = accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
    if (caller < 0) return called;
    char call = 0;
    pollfd wait{caller, POLLIN, 0};
    // A caller of another user, or one that says nothing, is not a start of ours.
    if (SameUser(caller) && poll(&wait, 1, 500) == 1 && recv(caller, &call, 1, 0) == 1 && call == 'S') called = true;
    close(caller);
  }
}

}  // namespace Platform
