// SPDX-License-Identifier: MIT
#pragma once
#include <string>

// The text the error box shows: a full stop is added when the last character sorts above ".".
std::string ErrorBoxText(const std::string& message);
