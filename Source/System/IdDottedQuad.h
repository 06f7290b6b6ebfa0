// SPDX-License-Identifier: MIT
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// An IPv4 address as its four numbers, most significant first (network order).
using TIdDottedQuad = std::array<std::uint8_t, 4>;

// The dotted-quad rule: four decimal numbers from 0 to 255 separated by ".",
// blanks around each number and leading zeros allowed, nothing after the fourth.
std::optional<TIdDottedQuad> ParseDottedQuad(std::string_view text);
// An address to bind or send to: a dotted quad, or blank text (none but
// spaces) for every local address, 0.0.0.0.
std::optional<TIdDottedQuad> ParseIPv4(std::string_view text);
// The plain form: the four numbers without blanks or leading zeros.
std::string DottedQuadText(const TIdDottedQuad& parts);
