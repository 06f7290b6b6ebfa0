// SPDX-License-Identifier: MIT
#include "Settings/StrToInt.h"

#include <cctype>

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool TryStrToInt(const std::string& text, std::int32_t& value) {
  std::size_t pos = 0;
  while (pos < text.size() && text[pos] == ' ') ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  bool hex = false;
  if (pos < text.size() && (text[pos] == '$' || text[pos] == 'x' || text[pos] == 'X')) {
    hex = true;
    ++pos;
  } else if (pos + 1 < text.size() && text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
    hex = true;
    pos += 2;
  }
  if (pos >= text.size()) return false;
  std::uint64_t magnitude = 0;
  for (; pos < text.size(); ++pos) {
    const int digit =
        hex ? HexDigit(text[pos]) : (std::isdigit(static_cast<unsigned char>(text[pos])) ? text[pos] - '0' : -1);
    if (digit < 0) return false;
    magnitude = magnitude * (hex ? 16 : 10) + static_cast<unsigned>(digit);
    if (magnitude > 0xFFFFFFFFull) return false;
  }
  if (hex) {
    const auto pattern = static_cast<std::uint32_t>(magnitude);
    value = static_cast<std::int32_t>(negative ? 0u - pattern : pattern);
    return true;
  }
  if (magnitude > (negative ? 0x80000000ull : 0x7FFFFFFFull)) return false;
  value = negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude))
                   : static_cast<std::int32_t>(magnitude);
  return true;
}

bool ReadIntegerSetting(const std::string& text, std::int32_t& value) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    return TryStrToInt(std::string("$").append(text, 2), value);
  return TryStrToInt(text, value);
}
