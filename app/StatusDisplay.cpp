#include <QLineEdit>
#include <QRadioButton>

#include "Form1.h"
#include "FormatClockTime.h"

namespace {

// The clocks change once a second and the tick comes twice: an unchanged text is
// not written again, which spares a repaint.
void ShowText(QLineEdit* box, const QString& text) {
  if (box->text() != text) box->setText(text);
}

}  // namespace

void TForm1::Timer1Timer() {
  const bool localFormat = ckTimeLocaFormat->isChecked();
  ShowText(TeSEdit2, QString::fromStdString(FormatClockTime(localFormat, Now())));
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
  ShowText(TeSEdit1, QString::fromStdString(FormatClockTime(ckTimeLocaFormat->isChecked(), AddSeconds(Now(), -offset))));
  if (offset == 0) {
    ShowText(TeSEdit3, QStringLiteral("time synchronized"));
    SetFontColor(TeSEdit2, 0);
  } else {
    ShowText(TeSEdit3, QString::number(offset) +
                           (offset > 0 ? QStringLiteral(" seconds ahead") : QStringLiteral(" seconds behind")));
    SetFontColor(TeSEdit2, 255);
  }
}
