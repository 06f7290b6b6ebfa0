// SPDX-License-Identifier: MIT
#pragma once

// Runs the steps that workers hand to the window's thread from Qt's event loop.
namespace MainThreadPump {
// Marks the calling thread as the window's thread and installs the wake hook; idempotent.
void Install();
}  // namespace MainThreadPump
