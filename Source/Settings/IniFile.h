// SPDX-License-Identifier: MIT
#pragma once
#include <string>

// The settings file: sections of key=value lines, read and written one value at a
// time, as the Windows profile functions do. Opening it touches no file; it holds
// only the path, and every call goes to the file itself.
//
// The format as this reader takes it:
// - A line ends at LF; a CR before the LF belongs to the line ending. A new file
//   gets LF endings; lines added to a file take the ending of its first line.
// - Blanks (spaces, tabs) before a line and around section names, key names and
//   values are ignored. A UTF-8 byte order mark before the first line is ignored.
// - "[name]" starts a section; the name ends at the first "]". Section and key
//   names match without regard to ASCII case; of two that match, the first counts.
// - A line whose first non-blank character is ";" or "#" is a comment, never a
//   key. Other lines without "=" are kept and otherwise ignored. Text after a
//   value is part of the value: there are no comments at the end of a line.
// - A value enclosed in a matching pair of double or single quotes loses them on
//   reading; a value is read up to 2047 characters.
// - Bytes are kept as they are: no character encoding is assumed.
class TIniFile {
public:
  explicit TIniFile(std::string fileName) : FFileName(std::move(fileName)) {}
  const std::string& FileName() const { return FFileName; }

  // The value, or defaultValue when the file, the section or the key does not
  // exist or the file cannot be read.
  std::string ReadString(const std::string& section, const std::string& key, const std::string& defaultValue) const;

  // Sets the value, creating the file (and its folder), the section and the key as
  // needed; every other line stays as it was, byte for byte. A key that exists is
  // rewritten as key=value in its place; a new key follows the last key of its
  // section; a new section goes to the end. Line breaks in a value become blanks.
  // The file is replaced whole and at once, so it is never left half-written; on
  // failure it stays as it was and "Unable to write to <path>" is raised.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);

  // Makes the writes so far durable; reports nothing.
  void Flush();

private:
  std::string FFileName;
};
