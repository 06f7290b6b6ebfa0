#include "Platform/InstanceClaim.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

namespace Platform {
namespace {

// An abstract socket: nothing on disk to go stale after a crash. The name is
// open to every user of the machine, so both ends check who is on the other.
sockaddr_un AddressOf(const std::string& name, socklen_t& length) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::size_t size = std::min(name.size(), sizeof address.sun_path - 2);
  std::memcpy(address.sun_path + 1, name.data(), size);
  length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + size);
  return address;
}

bool SameUser(int socket) {
  ucred peer{};
  socklen_t length = sizeof peer;
  return getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && peer.uid == getuid();
}

}  // namespace

TInstanceClaim::TInstanceClaim(const std::string& scope) : FName("kestrine-" + std::to_string(getuid()) + "-" + scope) {
  FListener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  socklen_t length = 0;
  const sockaddr_un address = AddressOf(FName, length);
  if (FListener >= 0 && bind(FListener, reinterpret_cast<const sockaddr*>(&address), length) == 0 &&
      listen(FListener, 8) == 0)
    return;
  const bool taken = errno == EADDRINUSE;
  if (FListener >= 0) close(FListener);
  FListener = -1;
  FFirst = !taken;  // without a socket at all, run on our own
}

TInstanceClaim::~TInstanceClaim() {
  if (FListener >= 0) close(FListener);
}

bool TInstanceClaim::CallFirst() {
  const int caller = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (caller < 0) return false;
  socklen_t length = 0;
  const sockaddr_un address = AddressOf(FName, length);
  const char call = 'S';
  bool answered = false;
  if (connect(caller, reinterpret_cast<const sockaddr*>(&address), length) == 0 && SameUser(caller) &&
      send(caller, &call, 1, MSG_NOSIGNAL) == 1) {
    // The first closes its end once it has taken the call.
    pollfd wait{caller, POLLIN, 0};
    char reply = 0;
    answered = poll(&wait, 1, 2000) == 1 && recv(caller, &reply, 1, 0) == 0;
  }
  close(caller);
  return answered;
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
