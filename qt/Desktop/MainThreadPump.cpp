// SPDX-License-Identifier: MIT
#include "MainThreadPump.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include "Core/IdSync.h"
#include "Platform/WakeEvent.h"

namespace MainThreadPump {

// Workers wake the window's thread through a handle of our own that Qt's event
// loop watches, rather than by posting Qt events from their threads.
void Install() {
  static Platform::TWakeEvent* wake = nullptr;
  if (wake != nullptr) return;
  wake = new Platform::TWakeEvent;  // lives as long as the process: late workers may still signal it
  IdSync::SetMainThread();
  auto* notifier = new QSocketNotifier(wake->Handle(), QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
    wake->Clear();
    IdSync::RunQueued();
  });
  IdSync::SetWakeHook([] { wake->Signal(); });
}

}  // namespace MainThreadPump
