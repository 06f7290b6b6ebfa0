#include "Platform/ClockRight.h"

#include <windows.h>

namespace Platform {

// Windows gives the right to set the clock to elevated administrators and to the
// clock service that the installer sets up; this refusal means there was no
// service to ask.
std::string ClockRightAdvice(int errorCode, const std::string&) {
  if (errorCode != ERROR_PRIVILEGE_NOT_HELD && errorCode != ERROR_ACCESS_DENIED) return {};
  return ". To let Kestrine set the clock, install it with its installer, which sets up its clock service, or start "
         "it with \"Run as administrator\".";
}

}  // namespace Platform
