// SPDX-License-Identifier: MIT
#include <windows.h>

#include "RunKestrine.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) { return RunKestrine(instance, show); }
