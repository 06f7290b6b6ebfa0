// SPDX-License-Identifier: MIT
#include "Platform/Windows/SystemMessage.h"

#include <windows.h>

#include "Platform/Windows/Utf8.h"

namespace Platform {

// Asked in UTF-16: the ANSI version would give the text in the ANSI code page.
std::string SystemMessageText(unsigned long errorCode) {
  wchar_t buffer[1024];
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, errorCode, 0,
                                      buffer, sizeof buffer / sizeof buffer[0], nullptr);
  std::string text = Utf8FromWide(std::wstring_view(buffer, length));
  while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\n' || text.back() == '.'))
    text.pop_back();
  return text;
}

}  // namespace Platform
