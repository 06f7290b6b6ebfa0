// SPDX-License-Identifier: MIT
#include "ServiceSetup.h"

#include "Platform/Clock.h"
#include "Platform/Windows/ClockService.h"

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

TServiceSetup MakeServiceSetup(DWORD, wchar_t**) {
  static TSystemServiceClock clock;
  TServiceSetup setup;
  setup.Clock = &clock;
  return setup;
}
