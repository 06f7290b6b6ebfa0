// SPDX-License-Identifier: MIT
// Arbitrary host names through ResolveAddress's dotted-quad rule: whatever
// ParseDottedQuad accepts, with the four numbers of a plain reading, ParseIPv4
// (what the socket layer binds and sends to) accepts with the same numbers, and
// it needs no name lookup; LOCALHOST, in any case, is 127.0.0.1.
//
// Input: the host text. Names that are neither are never resolved here, as that
// would ask the system's resolver.
#include <cctype>
#include <vector>

#include "FuzzCheck.h"
#include "System/IdDottedQuad.h"
#include "System/IdStack.h"

using namespace KestrineFuzz;

namespace {

// Four parts split at dots: blanks, decimal digits (any count, leading zeros
// included), blanks; each at most 255.
bool Expected(const std::string& host, std::uint8_t (&parts)[4]) {
  std::vector<std::string> pieces(1);
  for (const char c : host) {
    if (c == '.')
      pieces.emplace_back();
    else
      pieces.back() += c;
  }
  if (pieces.size() != 4) return false;
  for (int i = 0; i < 4; ++i) {
    const std::string& piece = pieces[i];
    const std::size_t first = piece.find_first_not_of(' ');
    const std::size_t last = piece.find_last_not_of(' ');
    if (first == std::string::npos) return false;
    unsigned value = 0;
    for (std::size_t k = first; k <= last; ++k) {
      if (!std::isdigit(static_cast<unsigned char>(piece[k]))) return false;
      value = value * 10 + static_cast<unsigned>(piece[k] - '0');
      if (value > 255) return false;
    }
    parts[i] = static_cast<std::uint8_t>(value);
  }
  return true;
}

bool IsLocalhost(const std::string& host) {
  static const std::string name = "localhost";
  if (host.size() != name.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(host[i])) != name[i]) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  TIdStack::IncUsage();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string host(reinterpret_cast<const char*>(data), size);
  TIdStack& stack = TIdStack::Instance();

  std::uint8_t parts[4] = {};
  const auto quad = ParseDottedQuad(host);
  const bool dotted = quad.has_value();
  FUZZ_CHECK(dotted == Expected(host, parts));
  if (dotted)
    for (int i = 0; i < 4; ++i) FUZZ_CHECK((*quad)[i] == parts[i]);

  const auto address = ParseIPv4(host);
  if (dotted) {
    FUZZ_CHECK(address == quad);
    FUZZ_CHECK(stack.ResolveAddress(host, Id_IPv4) == host);
  } else {
    // Only an empty or all-blank text, which stands for any address.
    FUZZ_CHECK(address.has_value() == (host.find_first_not_of(' ') == std::string::npos));
    if (address) FUZZ_CHECK(*address == TIdDottedQuad{});
  }

  if (IsLocalhost(host)) FUZZ_CHECK(stack.ResolveAddress(host, Id_IPv6) == "127.0.0.1");
  // LOCALHOST in a case the input's first bytes choose.
  std::string localhost = "localhost";
  for (std::size_t i = 0; i < localhost.size() && i < size; ++i)
    if ((data[i] & 1) != 0) localhost[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(localhost[i])));
  FUZZ_CHECK(stack.ResolveAddress(localhost, Id_IPv4) == "127.0.0.1");
  return 0;
}
