// SPDX-License-Identifier: MIT
#include "Platform/InstanceClaim.h"

#include <windows.h>

#include "Platform/Windows/Utf8.h"

namespace Platform {

// A mutex in the session's own namespace ("Local\"): one program per session,
// whoever runs it there elevated or not.
TInstanceClaim::TInstanceClaim(const std::string& scope) : FName(scope) {
  const std::wstring name = L"Local\\Kestrine" + (scope.empty() ? std::wstring() : L"-" + WideFromUtf8(scope));
  FMutex = CreateMutexW(nullptr, FALSE, name.c_str());
  FFirst = FMutex == nullptr || GetLastError() != ERROR_ALREADY_EXISTS;
}

TInstanceClaim::~TInstanceClaim() {
  if (FMutex != nullptr) CloseHandle(static_cast<HANDLE>(FMutex));
}

// The first window hears the broadcast, and may take the foreground that
// this start, begun by the user, has.
bool TInstanceClaim::CallFirst() {
  const UINT message = RegisterWindowMessageW(CallMessageName);
  if (message == 0) return false;
  AllowSetForegroundWindow(ASFW_ANY);
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(HWND_BROADCAST, message, 0, 0, SMTO_ABORTIFHUNG | SMTO_NORMAL, 2000, &result) != 0;
}

bool TInstanceClaim::TakeCalls() { return false; }

}  // namespace Platform
