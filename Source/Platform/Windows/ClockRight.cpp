// SPDX-License-Identifier: MIT
#include "Platform/ClockRight.h"

#include <windows.h>

#include "Platform/Windows/ClockService.h"

namespace Platform {

// With the program's own token where it may (elevated, or given the right);
// refused the privilege, through the clock service, which holds it.
TClockSetResult SetSystemClock(TInstantMs target) {
  TClockSetResult own = ClockService::SetDirectly(target);
  if (own.ErrorCode != ERROR_PRIVILEGE_NOT_HELD) return own;
  ClockService::TAnswer service = ClockService::Ask(target - SystemClock().ReadInstant());
  return service.Reached ? service.Result : own;
}

// Windows gives the right to set the clock to elevated administrators and to the
// clock service that the installer sets up; this refusal means there was no
// service to ask.
std::string ClockRightAdvice(int errorCode, const std::string&) {
  if (errorCode != ERROR_PRIVILEGE_NOT_HELD && errorCode != ERROR_ACCESS_DENIED) return {};
  return ". To let Kestrine set the clock, install it with its installer, which sets up its clock service, or start "
         "it with \"Run as administrator\".";
}

}  // namespace Platform
