#include "TimeChangeNotifier.h"

#include <QSocketNotifier>

TTimeChangeNotifier::TTimeChangeNotifier(std::function<void()> onChange, QObject* parent)
    : QObject(parent), FOnChange(std::move(onChange)) {
  if (FWatch.Handle() < 0) return;  // no notice on this system: queries then start only by other means
  FNotifier = new QSocketNotifier(FWatch.Handle(), QSocketNotifier::Read, this);
  connect(FNotifier, &QSocketNotifier::activated, this, [this] { HandleReadable(); });
}

void TTimeChangeNotifier::HandleReadable() {
  if (FWatch.Acknowledge()) FOnChange();
}
