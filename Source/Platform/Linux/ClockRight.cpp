// SPDX-License-Identifier: MIT
#include "Platform/ClockRight.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "Platform/ExePath.h"
#include "Platform/Linux/Helpers.h"
#include "Platform/Linux/Instant.h"

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

// Needs CAP_SYS_TIME in the first user namespace; EPERM is the ordinary
// refusal. The program itself holds no right, so a refused set goes to the
// clock helper, which holds that one capability.
TClockSetResult SetSystemClock(TInstantMs target) {
  const timespec value = TimespecOfInstant(target);
  if (clock_settime(CLOCK_REALTIME, &value) == 0) return {};
  const int refusal = errno;
  if (refusal != EPERM) return {refusal, std::strerror(refusal)};
  const Helpers::TOutcome helped = Helpers::Run(Helpers::HelperPath(ExecutablePath(), Helpers::ClockHelperName),
                                                HelperRequest::EncodeClock(target - SystemClock().ReadInstant()));
  if (!helped.Answered) return {refusal, std::strerror(refusal)};
  if (helped.Result == 0) return {};
  const char* policy = HelperRequest::RefusalText(helped.Result);
  return {helped.Result, policy != nullptr ? policy : std::strerror(helped.Result)};
}

// The right belongs to the clock helper beside the program, never to the
// program. The command stays inside the sentence, so the full stop that the
// error box adds cannot stick to the path.
std::string ClockRightAdvice(int errorCode, const std::string& programPath) {
  if (errorCode != EPERM) return {};
  const std::string path = Helpers::HelperPath(programPath.empty() ? std::string("/usr/bin/kestrine") : programPath,
                                               Helpers::ClockHelperName);
  const std::string grant = "\"sudo setcap cap_sys_time+ep " + ShellWord(path) + "\"";
  if (programPath.empty() || ::access(path.c_str(), X_OK) != 0)
    return ". To let Kestrine set the clock, install its clock helper as " + ShellWord(path) + " and run " + grant +
           ".";
  return ". To let Kestrine set the clock, run " + grant + " and try again.";
}

}  // namespace Platform
