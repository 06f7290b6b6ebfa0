#pragma once
#include <string>

namespace Platform {

// The running program's full path as the system reports it, in UTF-8; empty if unknown.
std::string ExecutablePath();

}  // namespace Platform
