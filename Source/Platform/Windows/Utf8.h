// SPDX-License-Identifier: MIT
#pragma once
#include <string>
#include <string_view>

namespace Platform {

// Texts and paths are UTF-8 inside the program; Windows speaks UTF-16 (the "W"
// calls). The "A" calls would use the ANSI code page, which cannot hold every
// letter of a user's name or a translated message. Invalid input becomes U+FFFD.
std::string Utf8FromWide(std::wstring_view text);
std::wstring WideFromUtf8(std::string_view text);

}  // namespace Platform
