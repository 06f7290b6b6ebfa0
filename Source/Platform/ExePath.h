// SPDX-License-Identifier: MIT
#pragma once
#include <string>

namespace Platform {

// The running program's full path as the system reports it, in UTF-8; empty if unknown.
std::string ExecutablePath();

// The folder part of a path, ending in its separator; empty when it names no folder.
std::string FolderOfPath(const std::string& path);

}  // namespace Platform
