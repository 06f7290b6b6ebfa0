// SPDX-License-Identifier: MIT
#pragma once
// The shared memory through which menu_probe.dll hands the driver the menu it read.
#define KESTRINE_MENU_PROBE_MAPPING L"Local\\KestrineMenuProbe"
#define KESTRINE_MENU_PROBE_CHARS 4096
#define KESTRINE_MENU_PROBE_DLL L"menu_probe.dll"
