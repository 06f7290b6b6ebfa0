#include <QLineEdit>
#include <QRadioButton>

#include "Form1.h"
#include "FormatClockTime.h"

void TForm1::Timer1Timer() {
  const bool localFormat = ckTimeLocaFormat->isChecked();
  TeSEdit2->setText(QString::fromStdString(FormatClockTime(localFormat, Now())));
  // A running worker owns the results and the Server Time and Difference boxes.
  if (FQueryBusy.load(std::memory_order_acquire)) return;
  if (FQueryFailed) {
    StartQuery();
    return;
  }
  if (FSyncOnStartPending) {
    // Cleared first: a refused adjustment is reported once, not at every tick.
    FSyncOnStartPending = false;
    AdjustClock();
  }
  SetFontColor(TeSEdit1, 0);
  const std::int64_t offset = FClockOffset;
  TeSEdit1->setText(QString::fromStdString(FormatClockTime(ckTimeLocaFormat->isChecked(), AddSeconds(Now(), -offset))));
  if (offset == 0) {
    TeSEdit3->setText(QStringLiteral("time synchronized"));
    SetFontColor(TeSEdit2, 0);
  } else {
    TeSEdit3->setText(QString::number(offset) + (offset > 0 ? QStringLiteral(" seconds ahead") : QStringLiteral(" seconds behind")));
    SetFontColor(TeSEdit2, 255);
  }
}
