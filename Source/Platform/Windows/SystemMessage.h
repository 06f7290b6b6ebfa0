// SPDX-License-Identifier: MIT
#pragma once
#include <string>

namespace Platform {

// The system's message text for an error code of GetLastError's numbering, with
// trailing blanks, line breaks and full stops removed; empty when it has none.
std::string SystemMessageText(unsigned long errorCode);

}  // namespace Platform
