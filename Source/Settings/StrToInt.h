// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <string>

// Text to a signed 32-bit integer: leading blanks, an optional sign, then decimal
// digits or hexadecimal ones after "$", "x", "X", "0x" or "0X"; nothing may follow.
// Hexadecimal keeps at most 32 significant bits as the bit pattern ($FFFFFFFF is -1).
bool TryStrToInt(const std::string& text, std::int32_t& value);

// An integer as the settings file may hold it: TryStrToInt's rule, where a leading
// "0x" or "0X" reads as "$".
bool ReadIntegerSetting(const std::string& text, std::int32_t& value);
