#pragma once
#include <string>

namespace Platform {

// What the user can do when the system refused to set the clock with this error
// (the error number of TClockSetResult): a sentence to append to the refusal,
// beginning with ". ", or empty when the error says nothing about the right to
// set the clock. programPath is the program's full path, empty when unknown.
std::string ClockRightAdvice(int errorCode, const std::string& programPath);

}  // namespace Platform
