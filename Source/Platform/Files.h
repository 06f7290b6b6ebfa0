// SPDX-License-Identifier: MIT
#pragma once
#include <string>

namespace Platform {

// Paths are UTF-8 (on Linux, bytes passed on as they are).

enum class TFileRead { Read, Missing, Failed };

// Reads a regular file whole, as bytes. Missing: no such file (or folder on its
// path); Failed: it exists but cannot be read (a folder, a device, no right).
TFileRead ReadFileContents(const std::string& path, std::string& contents);

// Replaces a file's contents all at once: a temporary file in the same folder
// takes the new contents, reaches the disk, and is renamed over the file, so a
// reader or a crash sees the old file or the new one, never a part. An existing
// file keeps its permission bits; a symbolic link keeps pointing at the file it
// named. False (and the old file as it was) when any step fails.
bool ReplaceFileContents(const std::string& path, const std::string& contents);

// Makes the replacements of files in that file's folder durable (the renames).
void SyncFolderOf(const std::string& path);

// True when the folder exists and files can be created in it by this process.
bool IsWritableFolder(const std::string& path);
bool IsRegularFile(const std::string& path);

// True when the folder is where the system's installer put the program (on
// Windows the folder its uninstall entry names; on Linux nothing is, as the
// package's folders are not writable anyway).
bool IsInstalledProgramFolder(const std::string& path);

}  // namespace Platform
