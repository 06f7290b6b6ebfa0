// SPDX-License-Identifier: MIT
#pragma once
#include <string>

namespace Platform {

// The user's configuration folder without a trailing slash, in UTF-8: on Linux
// $XDG_CONFIG_HOME when it holds an absolute path, else ~/.config; on Windows the
// roaming application data folder (%APPDATA%). Empty when none is known.
std::string UserConfigFolder();

enum class TAutostartWrite { Written, FolderNotCreated, NotWritten };

// Has the desktop session start a program when the user logs in, under an entry
// of the given name (Linux: <name>.desktop in the autostart folder of
// UserConfigFolder(), titled `title`; Windows: a Run value for all users, or
// the user's own where that is refused), replacing an earlier entry of that name.
// programPath is the program's full path, run without arguments. `folder` gets
// the folder that holds the entries, for the caller's message.
TAutostartWrite WriteAutostartEntry(const std::string& name, const std::string& title, const std::string& programPath,
                                    std::string& folder);

// Removes the entry (on Windows from both places); a missing entry or a refusal are not reported.
void DeleteAutostartEntry(const std::string& name);

}  // namespace Platform
