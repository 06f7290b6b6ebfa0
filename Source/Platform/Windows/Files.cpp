// SPDX-License-Identifier: MIT
#include "Platform/Files.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

#include "Platform/Windows/Utf8.h"

namespace Platform {

// Paths are UTF-8 in the program and UTF-16 here: the "A" calls would read them
// in the ANSI code page, which cannot hold every letter of a user's name.
namespace {

std::wstring FolderPrefix(const std::wstring& path) {
  const auto separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator + 1);
}

// The file a replacement must take the place of: the target of a link, so the link survives.
std::wstring ReplacedFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return path;
  const HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return path;  // a dangling link is replaced itself
  std::wstring target(32768, L'\0');
  const DWORD length =
      GetFinalPathNameByHandleW(file, target.data(), static_cast<DWORD>(target.size()), FILE_NAME_NORMALIZED);
  CloseHandle(file);
  if (length == 0 || length >= target.size()) return path;
  target.resize(length);
  return target;
}

bool WriteAll(HANDLE file, const std::string& contents) {
  std::size_t done = 0;
  while (done < contents.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(contents.size() - done, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, contents.data() + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

// A name unique to this process and call, created only if it does not exist.
HANDLE CreateTemporary(const std::wstring& file, std::wstring& temporary, DWORD flags) {
  static std::atomic<unsigned> counter{0};
  const std::wstring folder = FolderPrefix(file);
  const std::wstring name = file.substr(folder.size());
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary =
        folder + L"." + name + L".tmp" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++);
    const HANDLE handle = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, flags, nullptr);
    if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return handle;
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

TFileRead ReadFileContents(const std::string& path, std::string& contents) {
  contents.clear();
  const HANDLE file =
      CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? TFileRead::Missing : TFileRead::Failed;
  }
  // A folder cannot be opened this way at all; a device or pipe is refused here.
  bool ok = GetFileType(file) == FILE_TYPE_DISK;
  char buffer[65536];
  while (ok) {
    DWORD got = 0;
    ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr) != 0;
    if (!ok || got == 0) break;
    contents.append(buffer, got);
  }
  CloseHandle(file);
  if (!ok) contents.clear();
  return ok ? TFileRead::Read : TFileRead::Failed;
}

// The new file takes the access rights the folder gives any new file; a file
// marked read-only is not replaced.
bool ReplaceFileContents(const std::string& path, const std::string& contents) {
  const std::wstring file = ReplacedFile(WideFromUtf8(path));
  std::wstring temporary;
  const HANDLE handle = CreateTemporary(file, temporary, FILE_ATTRIBUTE_NORMAL);
  if (handle == INVALID_HANDLE_VALUE) return false;
  bool ok = WriteAll(handle, contents) && FlushFileBuffers(handle) != 0;
  ok = CloseHandle(handle) != 0 && ok;
  ok = ok && MoveFileExW(temporary.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (!ok) DeleteFileW(temporary.c_str());
  return ok;
}

// MOVEFILE_WRITE_THROUGH has already made the rename durable.
void SyncFolderOf(const std::string& /*path*/) {}

// Access lists decide, and no attribute shows them: the folder is asked by
// creating a file in it that goes away when closed.
bool IsWritableFolder(const std::string& path) {
  const std::wstring folder = WideFromUtf8(path);
  const DWORD attributes = folder.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
  const wchar_t last = folder.back();
  const std::wstring probeFile = folder + (last == L'\\' || last == L'/' ? L"" : L"\\") + L"kestrine-probe";
  std::wstring temporary;
  const DWORD flags = FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE;
  const HANDLE probe = CreateTemporary(probeFile, temporary, flags);
  if (probe == INVALID_HANDLE_VALUE) return false;
  CloseHandle(probe);
  return true;
}

bool IsRegularFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(WideFromUtf8(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

namespace {

// A folder as one path, whatever its slashes and letter case, without a trailing separator.
std::wstring FolderKey(std::wstring folder) {
  for (auto& c : folder)
    if (c == L'/') c = L'\\';
  while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
  CharUpperBuffW(folder.data(), static_cast<DWORD>(folder.size()));
  return folder;
}

}  // namespace

// The installer records its folder as InstallLocation of its uninstall entry.
bool IsInstalledProgramFolder(const std::string& path) {
  wchar_t location[MAX_PATH * 2] = {};
  DWORD size = sizeof location - sizeof(wchar_t);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kestrine",
                   L"InstallLocation", RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, location,
                   &size) != ERROR_SUCCESS)
    return false;
  return location[0] != 0 && FolderKey(location) == FolderKey(WideFromUtf8(path));
}

}  // namespace Platform
