// SPDX-License-Identifier: MIT
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

namespace {

// The data as Windows runs it: a path with a blank in quotation marks, else
// "C:\Program Files\Kestrine.exe" may start C:\Program.exe.
std::wstring RunCommand(const std::string& programPath) {
  const std::wstring path = WideFromUtf8(programPath);
  return path.find(L' ') == std::wstring::npos ? path : L"\"" + path + L"\"";
}

// Writes the value under root's Run key; the error of the step that failed.
TAutostartWrite WriteRunValue(HKEY root, const std::wstring& name, const std::wstring& data, LONG& error) {
  HKEY key = nullptr;
  error = RegCreateKeyExA(root, RunKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE | KEY_QUERY_VALUE,
                          nullptr, &key, nullptr);
  if (error != ERROR_SUCCESS) return TAutostartWrite::FolderNotCreated;
  // REG_SZ data counts its terminating zero.
  error = RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                         static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return error == ERROR_SUCCESS ? TAutostartWrite::Written : TAutostartWrite::NotWritten;
}

void DeleteRunValue(HKEY root, const std::wstring& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, RunKeyPath, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  RegDeleteValueW(key, name.c_str());
  RegCloseKey(key);
}

}  // namespace

// Windows: the string value `name` under the Run key of HKEY_LOCAL_MACHINE,
// whose data is the program's path; where the user may not write there (a
// standard user, an administrator not elevated), the same value under
// HKEY_CURRENT_USER, which starts the program at that user's log-on. `folder`
// gets the key's path and `title` is unused.
TAutostartWrite WriteAutostartEntry(const std::string& name, const std::string& /*title*/,
                                    const std::string& programPath, std::string& folder) {
  folder = RunKeyPath;
  const std::wstring value = WideFromUtf8(name);
  const std::wstring data = RunCommand(programPath);
  LONG error = 0;
  const TAutostartWrite machine = WriteRunValue(HKEY_LOCAL_MACHINE, value, data, error);
  if (machine == TAutostartWrite::Written) {
    DeleteRunValue(HKEY_CURRENT_USER, value);  // one value, or the program starts twice
    return machine;
  }
  if (error != ERROR_ACCESS_DENIED) return machine;
  return WriteRunValue(HKEY_CURRENT_USER, value, data, error);
}

// From both places, where the user may.
void DeleteAutostartEntry(const std::string& name) {
  const std::wstring value = WideFromUtf8(name);
  DeleteRunValue(HKEY_LOCAL_MACHINE, value);
  DeleteRunValue(HKEY_CURRENT_USER, value);
}

}  // namespace Platform
