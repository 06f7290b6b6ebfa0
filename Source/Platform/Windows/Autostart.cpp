#include "Platform/Autostart.h"

#include <windows.h>

#include <cstdlib>

namespace Platform {

namespace {

// Under HKEY_LOCAL_MACHINE, with the trailing backslash, as the program has always written it.
constexpr const char* RunKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run\\";

}  // namespace

// Windows: the user's roaming application data folder (%APPDATA%).
std::string UserConfigFolder() {
  const char* appData = std::getenv("APPDATA");
  if (appData == nullptr || appData[0] == '\0') return {};
  std::string folder(appData);
  while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return folder;
}

// Windows: the string value `name` under the Run key of HKEY_LOCAL_MACHINE, whose
// data is the program's path; `folder` gets the key's path and `title` is unused.
// A key that was created but cannot be opened is not reported, as before.
TAutostartWrite WriteAutostartEntry(const std::string& name, const std::string& /*title*/,
                                    const std::string& programPath, std::string& folder) {
  folder = RunKeyPath;
  HKEY created = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, RunKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                      &created, nullptr) != ERROR_SUCCESS)
    return TAutostartWrite::FolderNotCreated;
  RegCloseKey(created);
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RunKeyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
    return TAutostartWrite::Written;
  // REG_SZ data counts its terminating zero byte.
  const LONG set = RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(programPath.c_str()),
                                  static_cast<DWORD>(programPath.size() + 1));
  RegCloseKey(key);
  return set == ERROR_SUCCESS ? TAutostartWrite::Written : TAutostartWrite::NotWritten;
}

void DeleteAutostartEntry(const std::string& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RunKeyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  RegDeleteValueA(key, name.c_str());
  RegCloseKey(key);
}

}  // namespace Platform
