// SPDX-License-Identifier: MIT
// kestrine-clock-helper: sets the system clock for Kestrine, which holds no
// right itself. The only file of the package with cap_sys_time. It reads one
// request from standard input (HelperRequest.h), asks the policy whether the
// user who started it may set the clock (Policy.h), records the step in the
// system log, makes it, writes the result to standard output and exits.
#include <linux/capability.h>
#include <syslog.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "ClockSetter.h"
#include "HelperMain.h"
#include "Platform/HelperRequest.h"

namespace {

constexpr const char* Name = "kestrine-clock-helper";
constexpr const char* Action = "org.kestrine.set-time";

std::int64_t ClockNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// YYYY-MM-DD hh:mm:ss.mmm UTC, for the log.
std::string UtcText(std::int64_t instantMs) {
  const time_t seconds = static_cast<time_t>(instantMs / 1000);
  tm utc{};
  gmtime_r(&seconds, &utc);
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d UTC", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(instantMs % 1000));
  return text;
}

std::string StepText(std::int64_t stepMs) {
  char text[32];
  std::snprintf(text, sizeof text, "%+lld ms", static_cast<long long>(stepMs));
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  Policy::TCaller caller;
  if (!Helper::Begin(argc, argv, Name, CAP_SYS_TIME, caller)) return 0;
  std::uint8_t buffer[HelperRequest::RequestSize + 1];
  const auto request = HelperRequest::ParseClock(buffer, Helper::ReadRequest(buffer, sizeof buffer));
  if (request.Verdict != HelperRequest::TVerdict::Accepted)
    return Helper::Refuse(caller, HelperRequest::VerdictText(request.Verdict));
  if (const int refused = Helper::Authorize(caller, Action, "set the clock"); refused >= 0) return refused;

  // The step counts from the clock as it reads now, after any wait for the
  // policy. Logged before it is made: a caller who kills the helper after the
  // step cannot keep it out of the log.
  std::int64_t target = 0;
  if (!HelperRequest::TargetOf(ClockNow(), request.StepMs, target))
    return Helper::Refuse(caller, HelperRequest::VerdictText(HelperRequest::TVerdict::OutOfRange));
  const std::string step = UtcText(target) + ", a step of " + StepText(request.StepMs);
  if (!Helper::Log(LOG_NOTICE, caller.Name + " sets the clock to " + step)) {
    Helper::DropAll();
    Helper::WriteReply(HelperRequest::NotLogged);
    return 1;
  }
  const int result = SetClock(target);
  Helper::DropAll();
  if (result != 0) Helper::Log(LOG_WARNING, "the clock was not set to " + step + ": " + std::strerror(result));
  Helper::WriteReply(result);
  return result == 0 ? 0 : 1;
}
