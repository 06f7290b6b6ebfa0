#pragma once
#include <QObject>
#include <functional>
#include <memory>

#include "Platform/TimeChange.h"

class QSocketNotifier;

// Runs a callback on the window's thread after every change of the system clock.
class TTimeChangeNotifier : public QObject {
  Q_OBJECT

public:
  TTimeChangeNotifier(std::function<void()> onChange, QObject* parent);
  bool IsWatching() const { return FNotifier != nullptr; }
  // What the watch does when its handle turns readable; public for tests, which
  // cannot change the real clock.
  void HandleReadable();

private:
  std::function<void()> FOnChange;
  Platform::TTimeChangeWatch FWatch;
  QSocketNotifier* FNotifier = nullptr;
};
