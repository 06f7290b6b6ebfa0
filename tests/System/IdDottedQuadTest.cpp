// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "System/IdDottedQuad.h"

namespace {

// The dotted-quad rule decides both what needs no name lookup and what the
// socket layer binds and sends to; for the latter, blank text is every local
// address.
TEST(DottedQuadTest, FourDecimalPartsUpTo255WithBlanksAround) {
  const struct {
    const char* Text;
    const char* Quad;  // ParseDottedQuad's plain form; nullptr: not a dotted quad
    const char* IPv4;  // ParseIPv4's; nullptr: refused
  } cases[] = {
      {"10.0.0.1", "10.0.0.1", "10.0.0.1"},
      {" 10 . 0 . 0 . 1", "10.0.0.1", "10.0.0.1"},
      {"0.0.0.0", "0.0.0.0", "0.0.0.0"},
      {"255.255.255.255", "255.255.255.255", "255.255.255.255"},
      {"127.0.0.1 ", "127.0.0.1", "127.0.0.1"},
      {"127.000.000.001", "127.0.0.1", "127.0.0.1"},
      {"", nullptr, "0.0.0.0"},
      {"   ", nullptr, "0.0.0.0"},
      {"10.0.0", nullptr, nullptr},
      {"256.1.1.1", nullptr, nullptr},
      {"1.2.3.4.5", nullptr, nullptr},
      {"1.2.3.4.", nullptr, nullptr},
      {"1..2.3", nullptr, nullptr},
      {".1.2.3", nullptr, nullptr},
      {"1.2.3.4x", nullptr, nullptr},
      {"-1.2.3.4", nullptr, nullptr},
      {"a.b.c.d", nullptr, nullptr},
      {"localhost", nullptr, nullptr},
      {"1 2.3.4.5", nullptr, nullptr},
      {"1.2.3.1000", nullptr, nullptr},
  };
  const auto text = [](const std::optional<TIdDottedQuad>& parts) {
    return parts ? DottedQuadText(*parts) : "refused";
  };
  for (const auto& c : cases) {
    EXPECT_EQ(text(ParseDottedQuad(c.Text)), c.Quad ? c.Quad : "refused") << '"' << c.Text << '"';
    EXPECT_EQ(text(ParseIPv4(c.Text)), c.IPv4 ? c.IPv4 : "refused") << '"' << c.Text << '"';
  }
}

}  // namespace
