// SPDX-License-Identifier: MIT
#include "Platform/QuitSignal.h"

namespace Platform {

// A Windows program with a window is asked to end through messages to that window
// (WM_CLOSE, WM_QUERYENDSESSION and WM_ENDSESSION), which the toolkit turns into
// its own close and session-end events; there is nothing to watch here. Console
// control events (SetConsoleCtrlHandler) never reach a program without a console.
TQuitSignalWatch::TQuitSignalWatch()
    : FErrorText("On Windows a request to end comes to the window as a message, not as a signal") {}

TQuitSignalWatch::~TQuitSignalWatch() = default;

bool TQuitSignalWatch::Acknowledge() { return false; }

}  // namespace Platform
