// SPDX-License-Identifier: MIT
#include "PolicyKey.h"

#include "Platform/Windows/ClockService.h"

namespace Service = Platform::ClockService;

std::optional<std::wstring> ReadPolicyValue() {
  wchar_t text[64];
  DWORD size = sizeof text;
  const LSTATUS status = RegGetValueW(HKEY_LOCAL_MACHINE, Service::ParametersKey, Service::PolicyValue, RRF_RT_REG_SZ,
                                      nullptr, text, &size);
  if (status == ERROR_SUCCESS) return std::wstring(text);
  // Another type, or longer than any policy's name.
  if (status == ERROR_UNSUPPORTED_TYPE || status == ERROR_MORE_DATA)
    return std::wstring(L"(a value that is no policy's name)");
  return std::nullopt;  // none, or unreadable: the default
}

TPolicyWatch::TPolicyWatch() {
  FChanged = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Service::ServiceKey, 0, KEY_NOTIFY, &FKey) != ERROR_SUCCESS) FKey = nullptr;
}

TPolicyWatch::~TPolicyWatch() {
  if (FKey != nullptr) RegCloseKey(FKey);
  if (FChanged != nullptr) CloseHandle(FChanged);
}

bool TPolicyWatch::Arm() {
  if (FKey == nullptr || FChanged == nullptr) return false;
  ResetEvent(FChanged);
  return RegNotifyChangeKeyValue(FKey, TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, FChanged, TRUE) ==
         ERROR_SUCCESS;
}
