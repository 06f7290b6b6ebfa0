// SPDX-License-Identifier: MIT
#include "System/IdDottedQuad.h"

namespace {

std::size_t SkipBlanks(std::string_view text, std::size_t pos) {
  while (pos < text.size() && text[pos] == ' ') ++pos;
  return pos;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<TIdDottedQuad> ParseDottedQuad(std::string_view text) {
  TIdDottedQuad parts{};
  std::size_t pos = 0;
  for (std::size_t part = 0; part < parts.size(); ++part) {
    if (part > 0) {
      if (pos >= text.size() || text[pos] != '.') return std::nullopt;
      ++pos;
    }
    pos = SkipBlanks(text, pos);
    const std::size_t start = pos;
    unsigned value = 0;
    for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
      value = value * 10 + static_cast<unsigned>(text[pos] - '0');
      if (value > 255) return std::nullopt;
    }
    if (pos == start) return std::nullopt;
    parts[part] = static_cast<std::uint8_t>(value);
    pos = SkipBlanks(text, pos);
  }
  if (pos != text.size()) return std::nullopt;
  return parts;
}

std::optional<TIdDottedQuad> ParseIPv4(std::string_view text) {
  if (text.find_first_not_of(' ') == std::string_view::npos) return TIdDottedQuad{};
  return ParseDottedQuad(text);
}

std::string DottedQuadText(const TIdDottedQuad& parts) {
  return std::to_string(parts[0]) + '.' + std::to_string(parts[1]) + '.' + std::to_string(parts[2]) + '.' +
         std::to_string(parts[3]);
}
