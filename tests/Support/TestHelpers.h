#pragma once
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace KestrineTest {

// Sets TZ (a POSIX zone string, so no zone database is needed) and puts the old one back.
class ScopedTz {
public:
  explicit ScopedTz(const char* zone) {
    if (const char* old = std::getenv("TZ")) FOld = old;
    Set(zone);
  }
  ~ScopedTz() {
    if (FOld)
      setenv("TZ", FOld->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  ScopedTz(const ScopedTz&) = delete;
  ScopedTz& operator=(const ScopedTz&) = delete;
  static void Set(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
  }

private:
  std::optional<std::string> FOld;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

// Writes the whole file, making its folder first.
inline void WriteFile(const std::string& path, const std::string& contents) {
  const auto folder = std::filesystem::path(path).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder);
  std::ofstream(path, std::ios::binary) << contents;
}

}  // namespace KestrineTest
