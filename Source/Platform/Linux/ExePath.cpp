#include "Platform/ExePath.h"

#include <climits>
#include <unistd.h>

namespace Platform {

std::string ExecutablePath() {
  char buffer[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return {};
  return std::string(buffer, static_cast<size_t>(length));
}

}  // namespace Platform
