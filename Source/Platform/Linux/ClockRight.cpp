#include "Platform/ClockRight.h"

#include <cerrno>

namespace Platform {
namespace {

// A path the user can paste into a shell as it is.
std::string ShellWord(const std::string& text) {
  if (!text.empty() && text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789/._+-") ==
                           std::string::npos)
    return text;
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

// The right is granted to the program file and taken up when the program starts.
// The command stays inside the sentence, so the full stop that the error box
// adds cannot stick to the path.
std::string ClockRightAdvice(int errorCode, const std::string& programPath) {
  if (errorCode != EPERM) return {};
  return ". To let Kestrine set the clock, run \"sudo setcap cap_sys_time,cap_net_bind_service+ep " +
         (programPath.empty() ? std::string("$(command -v kestrine)") : ShellWord(programPath)) +
         "\" and start it again.";
}

}  // namespace Platform
