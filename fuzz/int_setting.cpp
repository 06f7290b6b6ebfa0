// SPDX-License-Identifier: MIT
// Arbitrary text as an integer key of the settings file, checked against the C
// library's own number parsing.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "FuzzCheck.h"
#include "Settings/StrToInt.h"

using namespace KestrineFuzz;

namespace {

bool AllDigits(std::string_view text, bool hex) {
  if (text.empty()) return false;
  for (const char c : text)
    if (!(c >= '0' && c <= '9') && !(hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))) return false;
  return true;
}

// The rule by other means: blanks, a sign, a hexadecimal mark or none, digits.
bool Expected(const std::string& text, std::int32_t& value) {
  std::string_view rest(text);
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  bool negative = false;
  if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
    negative = rest.front() == '-';
    rest.remove_prefix(1);
  }
  bool hex = false;
  if (!rest.empty() && (rest.front() == '$' || rest.front() == 'x' || rest.front() == 'X')) {
    hex = true;
    rest.remove_prefix(1);
  } else if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
    hex = true;
    rest.remove_prefix(2);
  }
  if (!AllDigits(rest, hex)) return false;
  const std::string digits(rest);
  errno = 0;
  const unsigned long long magnitude = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
  if (errno == ERANGE || magnitude > 0xFFFFFFFFull) return false;
  if (hex) {
    const auto pattern = static_cast<std::uint32_t>(magnitude);
    value = static_cast<std::int32_t>(negative ? 0u - pattern : pattern);
    return true;
  }
  const long long signedValue = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
  if (signedValue < INT32_MIN || signedValue > INT32_MAX) return false;
  value = static_cast<std::int32_t>(signedValue);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::int32_t value = 0x5A5A5A5A;
  const bool accepted = TryStrToInt(text, value);
  std::int32_t expected = 0;
  FUZZ_CHECK(accepted == Expected(text, expected));
  if (accepted) FUZZ_CHECK(value == expected);

  // What the program writes reads back as the same number, in either form.
  if (accepted) {
    std::int32_t again = 0;
    FUZZ_CHECK(ReadIntegerSetting(std::to_string(value), again) && again == value);
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(value));
    FUZZ_CHECK(ReadIntegerSetting(hex, again) && again == value);
  }

  // The settings file's "0x" reads as "$", and otherwise the rule is the same.
  std::int32_t setting = 0;
  const bool read = ReadIntegerSetting(text, setting);
  std::string dollar = text;
  if (dollar.size() > 2 && dollar[0] == '0' && (dollar[1] == 'x' || dollar[1] == 'X')) dollar.replace(0, 2, "$");
  std::int32_t viaDollar = 0;
  FUZZ_CHECK(read == TryStrToInt(dollar, viaDollar));
  if (read) FUZZ_CHECK(setting == viaDollar);
  return 0;
}
