#include "Platform/Clock.h"
#include "Platform/Windows/ClockService.h"
#include "ServiceClock.h"

namespace {

class TSystemServiceClock final : public TServiceClock {
public:
  std::int64_t Now() override { return Platform::SystemClock().ReadInstant(); }
  // Never through the program's path, which would ask this very service.
  DWORD Set(std::int64_t instantMs) override {
    return static_cast<DWORD>(Platform::ClockService::SetDirectly(instantMs).ErrorCode);
  }
};

}  // namespace

TServiceClock& MakeServiceClock(DWORD, wchar_t**) {
  static TSystemServiceClock clock;
  return clock;
}
