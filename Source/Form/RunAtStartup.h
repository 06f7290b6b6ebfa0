// SPDX-License-Identifier: MIT
#pragma once
#include <string>

// The name of the program's start-with-the-session entry.
inline constexpr const char* RunAtStartupName = "VantorTimeSync";

// With data (the program's full path) has the desktop session start the program
// under the entry valueName; with empty data removes that entry, reporting nothing.
// Raises "Failed to create key <folder>" when the entries' folder cannot be made
// and "Failed to set data for '<valueName>'" when the entry cannot be written.
void SetRunAtStartup(const std::string& valueName, const std::string& data);
