// SPDX-License-Identifier: MIT
#include "Settings/IniFile.h"

#include <filesystem>
#include <string_view>
#include <vector>

#include "Platform/Files.h"
#include "System/IdException.h"

namespace {

constexpr std::size_t MaxValueLength = 2047;

enum class TLineKind { Other, Section, Key };

// One line of the file: where its text starts and ends (without the line
// ending), where the next line starts, and what the text holds.
struct TLine {
  std::size_t Begin = 0;
  std::size_t End = 0;
  std::size_t Next = 0;
  TLineKind Kind = TLineKind::Other;
  std::string_view Name;
  std::string_view Value;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

void Classify(std::string_view text, TLine& line) {
  text = Trim(text);
  if (text.empty() || text.front() == ';' || text.front() == '#') return;
  if (text.front() == '[') {
    const auto close = text.find(']');
    line.Kind = TLineKind::Section;
    line.Name = Trim(text.substr(1, close == std::string_view::npos ? close : close - 1));
    return;
  }
  const auto equals = text.find('=');
  if (equals == std::string_view::npos) return;
  line.Kind = TLineKind::Key;
  line.Name = Trim(text.substr(0, equals));
  line.Value = Trim(text.substr(equals + 1));
}

std::vector<TLine> SplitLines(const std::string& contents) {
  std::vector<TLine> lines;
  const std::string_view all(contents);
  const std::string_view bom = "\xEF\xBB\xBF";
  std::size_t begin = all.substr(0, 3) == bom ? bom.size() : 0;
  while (begin < all.size()) {
    TLine line;
    line.Begin = begin;
    const auto feed = all.find('\n', begin);
    line.Next = feed == std::string_view::npos ? all.size() : feed + 1;
    line.End = feed == std::string_view::npos ? all.size() : feed;
    if (line.End > begin && all[line.End - 1] == '\r' && feed != std::string_view::npos) --line.End;
    Classify(all.substr(begin, line.End - begin), line);
    lines.push_back(line);
    begin = line.Next;
  }
  return lines;
}

// The first section of that name: the index of its header line, or lines.size().
std::size_t FindSection(const std::vector<TLine>& lines, std::string_view section) {
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (lines[i].Kind == TLineKind::Section && SameName(lines[i].Name, section)) return i;
  return lines.size();
}

// The key within the section that starts after `header`, or the index of the next
// section's header (or lines.size()) when it has none; `lastKey` gets the line
// after which a new key goes.
std::size_t FindKey(const std::vector<TLine>& lines, std::size_t header, std::string_view key, std::size_t& lastKey) {
  lastKey = header;
  std::size_t i = header + 1;
  for (; i < lines.size() && lines[i].Kind != TLineKind::Section; ++i) {
    if (lines[i].Kind != TLineKind::Key) continue;
    if (SameName(lines[i].Name, key)) return i;
    lastKey = i;
  }
  return i;
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

std::string LineEnding(const std::string& contents) {
  const auto feed = contents.find('\n');
  return feed != std::string::npos && feed > 0 && contents[feed - 1] == '\r' ? "\r\n" : "\n";
}

// What ends an unterminated last line: a CR there is part of the line, and stays so
// only with a CR LF after it.
std::string LineBreakAfter(const std::string& contents, const std::string& eol) {
  return !contents.empty() && contents.back() == '\r' ? "\r\n" : eol;
}

// The new contents with section/key set to value.
std::string WithValue(const std::string& contents, const std::string& section, const std::string& key,
                      std::string value) {
  for (char& c : value)
    if (c == '\r' || c == '\n') c = ' ';
  const std::string eol = LineEnding(contents);
  const std::vector<TLine> lines = SplitLines(contents);
  const std::size_t header = FindSection(lines, section);
  std::string result = contents;
  if (header == lines.size()) {
    if (!result.empty() && result.back() != '\n') result += LineBreakAfter(result, eol);
    return result + "[" + section + "]" + eol + key + "=" + value + eol;
  }
  std::size_t lastKey = header;
  const std::size_t found = FindKey(lines, header, key, lastKey);
  if (found < lines.size() && lines[found].Kind == TLineKind::Key)
    return result.replace(lines[found].Begin, lines[found].End - lines[found].Begin, key + "=" + value);
  const TLine& after = lines[lastKey];
  const bool ended = after.Next > after.End;  // the line has its line ending
  return result.insert(after.Next, (ended ? "" : LineBreakAfter(contents, eol)) + key + "=" + value + eol);
}

}  // namespace

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
  std::string contents;
  if (Platform::ReadFileContents(FFileName, contents) != Platform::TFileRead::Read) return defaultValue;
  const std::vector<TLine> lines = SplitLines(contents);
  const std::size_t header = FindSection(lines, section);
  if (header == lines.size()) return defaultValue;
  std::size_t lastKey = header;
  const std::size_t found = FindKey(lines, header, key, lastKey);
  if (found == lines.size() || lines[found].Kind != TLineKind::Key) return defaultValue;
  return std::string(Unquote(lines[found].Value).substr(0, MaxValueLength));
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  std::string contents;
  // A file that exists but cannot be read is never replaced by one holding only this key.
  if (Platform::ReadFileContents(FFileName, contents) == Platform::TFileRead::Failed)
    throw Exception("Unable to write to " + FFileName);
  const std::string changed = WithValue(contents, section, key, value);
  if (changed == contents) return;
  const std::filesystem::path folder = std::filesystem::path(FFileName).parent_path();
  std::error_code ignored;
  if (!folder.empty()) std::filesystem::create_directories(folder, ignored);
  if (!Platform::ReplaceFileContents(FFileName, changed)) throw Exception("Unable to write to " + FFileName);
}

void TIniFile::Flush() { Platform::SyncFolderOf(FFileName); }
