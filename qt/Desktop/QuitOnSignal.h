// SPDX-License-Identifier: MIT
#pragma once
#include <QObject>

#include "Platform/QuitSignal.h"

// Ends the event loop when the program is asked to end from outside (a signal),
// so that it ends through its normal path: the window is destroyed and saves
// the settings, as when the user closes it.
class TQuitOnSignal : public QObject {
public:
  explicit TQuitOnSignal(QObject* parent = nullptr);

private:
  Platform::TQuitSignalWatch FWatch;
};
