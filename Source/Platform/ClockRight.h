// SPDX-License-Identifier: MIT
#pragma once
#include <string>

#include "Platform/Clock.h"

// The right to set the clock, and the one place that knows who holds it. The
// program tries its own call first; refused for want of the right, it asks the
// part of Kestrine that holds it: on Linux the clock helper (cap_sys_time), on
// Windows the clock service. A helper or service that is missing, silent or an
// impostor leaves the program's own refusal.
namespace Platform {

// Sets the system clock to target (milliseconds since 1970-01-01 00:00 UTC).
// The helper or service is handed a step instead, target minus the system
// clock's reading when it is asked: positive moves the clock forwards, and a
// step stays right however long the request waits for a password or a free
// pipe. The result's ErrorCode is 0, the system's error number (errno on
// Linux, a Win32 error code on Windows), or a refusal of the policy
// (HelperRequest.h), each with its text.
TClockSetResult SetSystemClock(TInstantMs target);

// What the user can do when the system refused to set the clock with this error
// (the error number of TClockSetResult): a sentence to append to the refusal,
// beginning with ". ", or empty when the error says nothing about the right to
// set the clock. programPath is the program's full path, empty when unknown.
std::string ClockRightAdvice(int errorCode, const std::string& programPath);

}  // namespace Platform
