#include <cerrno>

#include "Form1.h"
#include "Platform/Clock.h"
#include "System/IdException.h"

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

std::string RefusalMessage(const Platform::TClockSetResult& result, const std::string& program) {
  std::string message = "The system clock could not be set: " + result.ErrorText;
  if (result.ErrorCode == EPERM) {
    // The right is granted to the program file and taken up when the program starts.
    // The command stays inside the sentence, so the full stop that the error box
    // adds cannot stick to the path.
    message += ". To let Kestrine set the clock, run \"sudo setcap cap_sys_time,cap_net_bind_service+ep " +
               (program.empty() ? std::string("$(command -v kestrine)") : ShellWord(program)) +
               "\" and start it again.";
  }
  return message;
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
  if (!FSettingClock) StartQuery();  // someone else moved the clock: measure again
  FSettingClock = false;
}
