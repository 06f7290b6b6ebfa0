#include "Platform/ClockRight.h"

#include <windows.h>

namespace Platform {

// Windows grants the right to set the clock to administrators, and a program
// started by one still runs without it unless it is started elevated.
std::string ClockRightAdvice(int errorCode, const std::string&) {
  if (errorCode != ERROR_PRIVILEGE_NOT_HELD && errorCode != ERROR_ACCESS_DENIED) return {};
  return ". To let Kestrine set the clock, start it with \"Run as administrator\".";
}

}  // namespace Platform
