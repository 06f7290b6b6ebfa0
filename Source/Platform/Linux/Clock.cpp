#include "Platform/Clock.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include "Platform/Linux/Helpers.h"
#include "Platform/Linux/Instant.h"

namespace Platform {
namespace {

class TSystemClock final : public TClockSource {
public:
  TLocalDateTime ReadLocal() override {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    TLocalDateTime result;
    result.Year = local.tm_year + 1900;
    result.Month = local.tm_mon + 1;
    result.DayOfWeek = local.tm_wday;
    result.Day = local.tm_mday;
    result.Hour = local.tm_hour;
    result.Minute = local.tm_min;
    result.Second = local.tm_sec;
    result.Millisecond = static_cast<int>(now.tv_nsec / 1000000);
    return result;
  }

  TInstantMs ReadInstant() override {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return InstantOfTimespec(now);
  }

  // Needs CAP_SYS_TIME in the first user namespace; EPERM is the ordinary
  // refusal. The program itself holds no right, so a refused set goes to the
  // clock helper, which holds that one capability; a missing or silent helper
  // leaves the program's own refusal.
  TClockSetResult SetInstant(TInstantMs value) override {
    const timespec target = TimespecOfInstant(value);
    if (clock_settime(CLOCK_REALTIME, &target) == 0) return {};
    const int refusal = errno;
    if (refusal != EPERM) return {refusal, std::strerror(refusal)};
    // The helper takes a step, which stays right however long it waits.
    const int helped = Helpers::SetClockThroughHelper(value - ReadInstant());
    if (helped == 0) return {};
    if (helped < 0) return {refusal, std::strerror(refusal)};
    const char* policy = HelperRequest::RefusalText(helped);
    return {helped, policy != nullptr ? policy : std::strerror(helped)};
  }
};

}  // namespace

TClockSource& SystemClock() {
  static TSystemClock clock;
  return clock;
}

}  // namespace Platform
