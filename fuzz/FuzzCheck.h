// SPDX-License-Identifier: MIT
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// A property that must hold for every input: libFuzzer reports the abort as a
// finding and saves the input.
#define FUZZ_CHECK(condition)                                                               \
  do {                                                                                      \
    if (!(condition)) {                                                                     \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                         \
    }                                                                                       \
  } while (0)

namespace KestrineFuzz {

// Reads an input front to back; past its end every field reads as zero or empty, so
// any input is a valid one.
class TReader {
public:
  TReader(const std::uint8_t* data, std::size_t size) : FData(data), FSize(size) {}

  std::uint8_t Byte() { return FPos < FSize ? FData[FPos++] : 0; }
  std::uint32_t BE32() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | Byte();
    return value;
  }
  // A text of the length the next byte gives, cut to maxLength.
  std::string Text(std::size_t maxLength) {
    const std::size_t length = Byte() % (maxLength + 1);
    std::string text;
    while (text.size() < length && FPos < FSize) text += static_cast<char>(FData[FPos++]);
    return text;
  }
  const std::uint8_t* Rest() const { return FData + FPos; }
  std::size_t RestSize() const { return FSize - FPos; }

private:
  const std::uint8_t* FData;
  std::size_t FSize;
  std::size_t FPos = 0;
};

// Whether text is well-formed UTF-8 (no overlong forms, no surrogates, at most U+10FFFF).
inline bool IsUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t extra = 0;
    std::uint32_t point = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
      point = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      point = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      point = c & 0x07;
    } else {
      return false;
    }
    if (i + extra >= text.size()) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      point = point << 6 | (next & 0x3F);
    }
    if ((extra == 2 && (point < 0x800 || (point >= 0xD800 && point <= 0xDFFF))) ||
        (extra == 3 && (point < 0x10000 || point > 0x10FFFF)))
      return false;
    i += extra + 1;
  }
  return true;
}

// Code points of UTF-8 text: the bytes that are not continuation bytes.
inline std::size_t CodePoints(const std::string& text) {
  std::size_t count = 0;
  for (const char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  return count;
}

}  // namespace KestrineFuzz
