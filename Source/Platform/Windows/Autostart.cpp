#include "Platform/Autostart.h"

#include <windows.h>
#include <shlobj.h>

#include "Platform/Windows/Utf8.h"

namespace Platform {

namespace {

// Under HKEY_LOCAL_MACHINE, with the trailing backslash, as the program has always written it.
constexpr const char* RunKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run\\";

}  // namespace

// Windows: the user's roaming application data folder (%APPDATA%), in UTF-8. The
// shell knows it even where the environment has lost the variable.
std::string UserConfigFolder() {
  std::wstring folder;
  PWSTR known = nullptr;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_DEFAULT, nullptr, &known)) && known != nullptr)
    folder = known;
  CoTaskMemFree(known);
  if (folder.empty()) {
    const DWORD size = GetEnvironmentVariableW(L"APPDATA", nullptr, 0);
    folder.resize(size);
    folder.resize(size == 0 ? 0 : GetEnvironmentVariableW(L"APPDATA", folder.data(), size));
  }
  while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  return Utf8FromWide(folder);
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
  // The path is UTF-8 and may hold letters outside the ANSI code page. REG_SZ
  // data counts its terminating zero.
  const std::wstring data = WideFromUtf8(programPath);
  const LONG set =
      RegSetValueExW(key, WideFromUtf8(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                     static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return set == ERROR_SUCCESS ? TAutostartWrite::Written : TAutostartWrite::NotWritten;
}

void DeleteAutostartEntry(const std::string& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RunKeyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  RegDeleteValueW(key, WideFromUtf8(name).c_str());
  RegCloseKey(key);
}

}  // namespace Platform
