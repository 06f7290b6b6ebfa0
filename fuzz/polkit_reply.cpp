// SPDX-License-Identifier: MIT
// Arbitrary bytes as what the system bus sends a privileged helper: the reader
// takes a whole message or waits for more or refuses it, never reads past the
// bytes, and what it takes is never longer than what came.
#include <vector>

#include "FuzzCheck.h"
#include "PolkitCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Exactly the input's bytes on the heap: ASan sees any read past them.
  const std::vector<std::uint8_t> input(data, data + size);
  Polkit::TMessage message;
  const long taken = Polkit::ReadMessage(input.data(), input.size(), message);
  FUZZ_CHECK(taken >= -1 && taken <= static_cast<long>(size));
  FUZZ_CHECK(taken <= static_cast<long>(Polkit::MaxMessage));
  if (taken > 0) {
    FUZZ_CHECK(message.Body.size() <= static_cast<std::size_t>(taken));
    const auto answer = Polkit::AnswerOf(message);
    // Only a return with the answer's own form can say yes.
    if (answer.Answer == Polkit::TAnswer::Authorized) FUZZ_CHECK(message.Type == 2 && message.Signature == "(bba{ss})");
  }
  return 0;
}
