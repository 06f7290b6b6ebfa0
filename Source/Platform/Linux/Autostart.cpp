// SPDX-License-Identifier: MIT
#include "Platform/Autostart.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "Platform/Files.h"

namespace Platform {

namespace {

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/')
    return found->pw_dir;
  return {};
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// Empty when no home is known.
std::string AutostartFolder() {
  const std::string config = UserConfigFolder();
  return config.empty() ? std::string() : config + "/autostart";
}

// Exec= takes a quoted argument (double quotes; `"`, backquote, `$` and backslash
// preceded by a backslash), and the key's value then goes through the general
// escapes of string values, which double every backslash once more. A literal
// percent sign is "%%", since "%" starts a field code.
std::string ExecValue(const std::string& programPath) {
  std::string quoted = "\"";
  for (const char c : programPath) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  std::string value;
  for (const char c : quoted) {
    switch (c) {
      case '\\': value += "\\\\"; break;
      case '\n': value += "\\n"; break;
      case '\t': value += "\\t"; break;
      case '\r': value += "\\r"; break;
      case '%': value += "%%"; break;
      default: value += c;
    }
  }
  return value;
}

}  // namespace

std::string UserConfigFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return WithoutTrailingSlashes(config);
  const std::string home = HomeFolder();
  return home.empty() ? std::string() : WithoutTrailingSlashes(home) + "/.config";
}

TAutostartWrite WriteAutostartEntry(const std::string& name, const std::string& title, const std::string& programPath,
                                    std::string& folder) {
  folder = AutostartFolder();
  if (folder.empty()) {
    folder = "~/.config/autostart";  // named as the user knows it
    return TAutostartWrite::FolderNotCreated;
  }
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error || !std::filesystem::is_directory(folder, error)) return TAutostartWrite::FolderNotCreated;
  const std::string entry = "[Desktop Entry]\nType=Application\nName=" + title + "\nExec=" + ExecValue(programPath) +
                            "\nX-GNOME-Autostart-enabled=true\n";
  const std::string path = folder + "/" + name + ".desktop";
  if (!ReplaceFileContents(path, entry)) return TAutostartWrite::NotWritten;
  SyncFolderOf(path);
  return TAutostartWrite::Written;
}

void DeleteAutostartEntry(const std::string& name) {
  const std::string folder = AutostartFolder();
  if (!folder.empty()) unlink((folder + "/" + name + ".desktop").c_str());
}

}  // namespace Platform
