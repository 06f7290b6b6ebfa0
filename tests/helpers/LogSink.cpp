// SPDX-License-Identifier: MIT
// A system log for the tests: binds the datagram socket at the path given
// (the tests' own /dev/log, in a mount namespace of theirs) and appends each
// line it receives to a file, so a test can read what a helper logged.
// Usage: kestrine_log_sink SOCKET FILE; it runs until it is killed.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s SOCKET FILE\n", argv[0]);
    return 64;
  }
  const int log = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, argv[1], sizeof address.sun_path - 1);
  unlink(argv[1]);
  if (log < 0 || bind(log, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  chmod(argv[1], 0666);  // every user may log, as with the system's
  FILE* out = std::fopen(argv[2], "a");
  if (out == nullptr) {
    std::perror(argv[2]);
    return 1;
  }
  char line[8192];
  for (;;) {
    const ssize_t got = recv(log, line, sizeof line, 0);
    if (got < 0) continue;
    std::fwrite(line, 1, static_cast<std::size_t>(got), out);
    std::fputc('\n', out);
    std::fflush(out);
  }
}
