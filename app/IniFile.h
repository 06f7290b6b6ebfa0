#pragma once
#include <string>

// The settings file. Opening it touches no file; it holds only the path.
class TIniFile {
public:
  explicit TIniFile(std::string fileName) : FFileName(std::move(fileName)) {}
  const std::string& FileName() const { return FFileName; }

private:
  std::string FFileName;
};
