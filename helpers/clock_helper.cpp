// kestrine-clock-helper: sets the system clock for Kestrine, which holds no
// right itself. The only file of the package with cap_sys_time. It reads one
// request from standard input (HelperRequest.h), sets the clock, writes the
// result to standard output and exits; the system log records every change
// with the user who asked and the step.
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

}  // namespace

int main(int argc, char** argv) {
  std::string caller;
  if (!Helper::Begin(argc, argv, Name, CAP_SYS_TIME, caller)) return 0;
  std::uint8_t buffer[HelperRequest::RequestSize + 1];
  const auto request = HelperRequest::ParseClock(buffer, Helper::ReadRequest(buffer, sizeof buffer));
  if (request.Verdict != HelperRequest::TVerdict::Accepted)
    return Helper::Refuse(caller, HelperRequest::VerdictText(request.Verdict));

  std::int64_t target = 0;
  if (!HelperRequest::TargetOf(ClockNow(), request.StepMs, target))
    return Helper::Refuse(caller, HelperRequest::VerdictText(HelperRequest::TVerdict::OutOfRange));
  const int result = SetClock(target);
  Helper::DropAll();
  if (result == 0)
    syslog(LOG_NOTICE, "%s set the clock to %s, a step of %+lld ms", caller.c_str(), UtcText(target).c_str(),
           static_cast<long long>(request.StepMs));
  else
    syslog(LOG_WARNING, "%s asked to set the clock to %s: %s", caller.c_str(), UtcText(target).c_str(),
           std::strerror(result));
  Helper::WriteReply(result);
  return result == 0 ? 0 : 1;
}
