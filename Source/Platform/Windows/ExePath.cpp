// SPDX-License-Identifier: MIT
#include "Platform/ExePath.h"

#include <windows.h>

#include "Platform/Windows/Utf8.h"

namespace Platform {

// Asked in UTF-16: the folder may hold letters outside the ANSI code page.
std::string ExecutablePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    // A result that fills the buffer may have been cut.
    if (length < buffer.size()) return Utf8FromWide(std::wstring_view(buffer.data(), length));
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

// Windows takes either slash.
std::string FolderOfPath(const std::string& path) { return path.substr(0, path.find_last_of("\\/") + 1); }

}  // namespace Platform
