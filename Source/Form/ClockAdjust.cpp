#include "Form/Form1.h"
#include "Platform/Clock.h"
#include "Platform/ClockRight.h"
#include "System/IdException.h"

namespace {

std::string RefusalMessage(const Platform::TClockSetResult& result, const std::string& program) {
  return "The system clock could not be set: " + result.ErrorText +
         Platform::ClockRightAdvice(result.ErrorCode, program);
}

}  // namespace

void TForm1::AdjustClock() {
  if (FQueryFailed) return;
  // From the clock's instant, never from a local date and time: in the hour that
  // a change to standard time repeats, a local reading names two instants.
  Platform::TClockSource& clock = Platform::Clock();
  const std::int64_t offset = FClockOffset;
  const Platform::TInstantMs target = clock.ReadInstant() - offset * 1000;
  FSettingClock = true;
  const auto result = clock.SetInstant(target);
  if (result.ErrorCode != 0) {
    // Nothing changed: keep the offset and expect no notice of our own.
    FSettingClock = false;
    throw EClockNotSet(RefusalMessage(result, FOptions.ExecutablePath));
  }
  ++FClockGeneration;  // a query measured against the old clock is stale now
  FLastClockRefusal.clear();
  FClockOffset = 0;
}

void TForm1::TeButton1Click() { AdjustClock(); }

void TForm1::SyncTimerTimer() { AdjustClock(); }

void TForm1::WMTimeChange() {
  if (!FSettingClock) {
    // Someone else moved the clock: a query under way measured against the old
    // one, so its result is stale like after the program's own set; measure again.
    ++FClockGeneration;
    StartQuery();
  }
  FSettingClock = false;
}
