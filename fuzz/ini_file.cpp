// SPDX-License-Identifier: MIT
// Arbitrary settings files: reading a value, and writing one then reading it back,
// with every other line of the file kept byte for byte.
//
// Input: the section, the key and the value (each a length byte, then the text),
// then the file's contents.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>

#include "FuzzCheck.h"
#include "Settings/IniFile.h"

using namespace KestrineFuzz;

namespace {

std::filesystem::path Folder;

std::string Contents(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

void Store(const std::string& path, const std::string& contents) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << contents;
  FUZZ_CHECK(file.good());
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Names the file can hold as they are: no line break, nothing that trims away or
// makes the line another kind (a section, a comment, a key of another name).
bool IsWritableName(const std::string& name, bool section) {
  if (!name.empty() && (IsBlank(name.front()) || IsBlank(name.back()))) return false;
  if (name.find_first_of(section ? "]\r\n" : "=\r\n") != std::string::npos) return false;
  return section || name.empty() || (name.front() != '[' && name.front() != ';' && name.front() != '#');
}

// What a reader gets back for a written value: line breaks became blanks, blanks
// around it are dropped, one pair of matching quotes goes, at most 2047 characters.
std::string ReadBack(std::string value) {
  std::replace_if(
      value.begin(), value.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  std::string_view text(value);
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front())
    text = text.substr(1, text.size() - 2);
  return std::string(text.substr(0, 2047));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // scripts/fuzz.sh names a folder in memory: every write is made durable.
  const char* chosen = std::getenv("KESTRINE_FUZZ_TMP");
  const std::filesystem::path base = chosen != nullptr ? chosen : std::filesystem::temp_directory_path();
  Folder = base / ("kestrine-fuzz-ini-" + std::to_string(getpid()));
  std::filesystem::create_directories(Folder);
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(Folder, ignored);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TReader in(data, size);
  const std::string section = in.Text(24);
  const std::string key = in.Text(24);
  const std::string value = in.Text(255);
  const std::string before(reinterpret_cast<const char*>(in.Rest()), in.RestSize());
  const std::string path = (Folder / "settings.ini").string();
  Store(path, before);

  TIniFile ini(path);
  const std::string first = ini.ReadString(section, key, "\x01");
  FUZZ_CHECK(first.size() <= 2047);
  const bool existed = ini.ReadString(section, key, "\x02") == first;

  ini.WriteString(section, key, value);
  const std::string after = Contents(path);
  if (!IsWritableName(section, true) || !IsWritableName(key, false)) return 0;
  FUZZ_CHECK(ini.ReadString(section, key, "\x01") == ReadBack(value));

  // One stretch of the file changed, within one line: the rest is as it was.
  std::size_t prefix = 0;
  while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix]) ++prefix;
  std::size_t suffix = 0;
  while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
         before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
    ++suffix;
  const std::string_view removed = std::string_view(before).substr(prefix, before.size() - prefix - suffix);
  const std::string_view added = std::string_view(after).substr(prefix, after.size() - prefix - suffix);
  std::string line = key + "=" + value;
  std::replace_if(
      line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  FUZZ_CHECK(after.find(line) != std::string::npos);
  FUZZ_CHECK(removed.find('\n') == std::string_view::npos);
  if (existed) FUZZ_CHECK(added.find('\n') == std::string_view::npos);
  if (!existed) FUZZ_CHECK(removed.empty());

  // Writing the same again changes nothing.
  ini.WriteString(section, key, value);
  FUZZ_CHECK(Contents(path) == after);
  return 0;
}
