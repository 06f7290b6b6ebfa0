#include "MainThreadPump.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <atomic>

#include "Core/IdSync.h"

namespace MainThreadPump {

void Install() {
  static QObject* pump = nullptr;
  if (pump != nullptr) return;
  pump = new QObject(QCoreApplication::instance());
  static std::atomic<bool> wakePending{false};
  IdSync::SetMainThread();
  IdSync::SetWakeHook([target = pump] {
    // One posted call drains everything queued before it runs.
    if (wakePending.exchange(true)) return;
    QMetaObject::invokeMethod(
        target,
        [] {
          wakePending = false;
          IdSync::RunQueued();
        },
        Qt::QueuedConnection);
  });
}

}  // namespace MainThreadPump
