// SPDX-License-Identifier: MIT
#include "Platform/ExePath.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "Platform/Linux/ExePathOf.h"

namespace Platform {
namespace {

constexpr const char DeletedMark[] = " (deleted)";

bool Exists(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0;
}

}  // namespace

// Replaced while it runs (an upgrade renames a new file over it), the program's
// link reads "<path> (deleted)"; the path itself then names the new program,
// which is the one to start next time.
std::string ExecutablePathOf(const std::string& link) {
  char buffer[PATH_MAX];
  const ssize_t length = readlink(link.c_str(), buffer, sizeof buffer - 1);
  if (length <= 0) return {};
  std::string path(buffer, static_cast<size_t>(length));
  if (Exists(path)) return path;
  constexpr std::size_t mark = sizeof DeletedMark - 1;
  if (path.size() > mark && path.compare(path.size() - mark, mark, DeletedMark) == 0) {
    std::string current = path.substr(0, path.size() - mark);
    if (Exists(current)) return current;
  }
  return {};
}

std::string ExecutablePath() { return ExecutablePathOf("/proc/self/exe"); }

std::string FolderOfPath(const std::string& path) { return path.substr(0, path.find_last_of('/') + 1); }

}  // namespace Platform
