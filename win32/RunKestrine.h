// SPDX-License-Identifier: MIT
#pragma once
#include <windows.h>

// Builds the window, hands it to the logic and runs the message loop until the
// window is closed; returns the program's exit code.
int RunKestrine(HINSTANCE instance, int show);
