// SPDX-License-Identifier: MIT
#include "Platform/ThreadName.h"

#include <windows.h>

namespace Platform {

// SetThreadDescription exists from Windows 10 1607 on; earlier systems get no name.
void SetCurrentThreadName(const std::string& name) {
  using TSetThreadDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  static const auto setDescription = reinterpret_cast<TSetThreadDescription>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
  if (setDescription == nullptr) return;
  const int length = MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, nullptr, 0);
  if (length <= 0) return;
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, wide.data(), length);
  setDescription(GetCurrentThread(), wide.c_str());
}

}  // namespace Platform
