#include "Platform/Windows/SystemMessage.h"

#include <windows.h>

namespace Platform {

std::string SystemMessageText(unsigned long errorCode) {
  char buffer[1024];
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, errorCode, 0,
                                      buffer, sizeof buffer, nullptr);
  std::string text(buffer, length);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\n' || text.back() == '.'))
    text.pop_back();
  return text;
}

}  // namespace Platform
