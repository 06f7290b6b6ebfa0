#include "Form1.h"
#include "Platform/Clock.h"
#include "System/IdException.h"

namespace {

std::string RefusalMessage(const Platform::TClockSetResult& result) {
  return "The system clock could not be set: " + result.ErrorText;
}

}  // namespace

void TForm1::AdjustClock() {
  if (FQueryFailed) return;
  const std::int64_t offset = FClockOffset;
  const Platform::TLocalDateTime target = DecodeDateTime(AddSeconds(Now(), -offset));
  FSettingClock = true;
  const auto result = Platform::Clock().SetLocal(target);
  if (result.ErrorCode != 0) {
    // Nothing changed: keep the offset and expect no notice of our own.
    FSettingClock = false;
    throw EClockNotSet(RefusalMessage(result));
  }
  FClockOffset = 0;
}

void TForm1::TeButton1Click() { AdjustClock(); }

void TForm1::SyncTimerTimer() { AdjustClock(); }

void TForm1::WMTimeChange() {
  if (!FSettingClock) StartQuery();  // someone else moved the clock: measure again
  FSettingClock = false;
}
