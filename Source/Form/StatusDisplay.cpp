#include <string>

#include "Form/Form1.h"

void TForm1::Timer1Timer() {
  TeSEdit2.SetText(FormatClockTime(ckTimeLocaFormat.Checked(), Now()));
  // A running worker owns the results and the Server Time and Difference boxes.
  if (FQueryBusy) return;
  if (FQueryFailed) {
    StartQuery();
    return;
  }
  if (FSyncOnStartPending) {
    // Cleared first: a refused adjustment is reported once, not at every tick.
    FSyncOnStartPending = false;
    AdjustClock();
  }
  TeSEdit1.SetFontColor(0);
  const std::int64_t offset = FClockOffset;
  TeSEdit1.SetText(FormatClockTime(ckTimeLocaFormat.Checked(), AddSeconds(Now(), -offset)));
  if (offset == 0) {
    TeSEdit3.SetText("time synchronized");
    TeSEdit2.SetFontColor(0);
  } else {
    TeSEdit3.SetText(std::to_string(offset) + (offset > 0 ? " seconds ahead" : " seconds behind"));
    TeSEdit2.SetFontColor(255);
  }
}

// The clock-change notice stops when its watch cannot be armed again: say so
// once, and try again at each tick until it works.
void TForm1::CheckTimeChangeWatch() {
  if (FTimeChangeWatch.Handle() < 0 || FTimeChangeWatch.IsArmed() || FTimeChangeWatch.Rearm()) {
    FWatchFailureShown = false;
    return;
  }
  if (FWatchFailureShown) return;
  FWatchFailureShown = true;
  throw Exception("Changes of the system clock by other programs can no longer be noticed: " +
                  FTimeChangeWatch.ErrorText());
}
