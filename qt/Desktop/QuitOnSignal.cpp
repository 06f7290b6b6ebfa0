// SPDX-License-Identifier: MIT
#include "QuitOnSignal.h"

#include <QCoreApplication>
#include <QSocketNotifier>

TQuitOnSignal::TQuitOnSignal(QObject* parent) : QObject(parent) {
  if (FWatch.Handle() < 0) return;  // the signals then end the program as they always do
  auto* notifier = new QSocketNotifier(FWatch.Handle(), QSocketNotifier::Read, this);
  connect(notifier, &QSocketNotifier::activated, this, [this] {
    if (FWatch.Acknowledge()) QCoreApplication::quit();
  });
}
