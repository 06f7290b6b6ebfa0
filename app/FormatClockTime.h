#pragma once
#include <string>

#include "System/IdGlobal.h"

// A DateTime value as the window shows it; the fixed format is "dd-mmm -yyyy hh:mm:ss"
// with US English month names.
std::string FormatClockTime(bool useLocalFormat, TDateTime value);
