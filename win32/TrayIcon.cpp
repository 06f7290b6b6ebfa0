// SPDX-License-Identifier: MIT
#include "TrayIcon.h"

#include <shellapi.h>

#include "ControlIds.h"
#include "Platform/Windows/Utf8.h"

namespace {

NOTIFYICONDATAW IconData(HWND window) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = window;
  data.uID = TrayIconId;
  return data;
}

}  // namespace

bool TTrayIcon::Show(const std::string& hint) {
  FHint = Platform::WideFromUtf8(hint);
  FWanted = true;
  FRetriesLeft = Retries;
  return Add();
}

bool TTrayIcon::Add() {
  if (Refusals > 0) {
    --Refusals;
    return false;
  }
  NOTIFYICONDATAW data = IconData(FWindow);
  data.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP | NIF_SHOWTIP;
  data.uCallbackMessage = WM_KESTRINE_TRAY;
  data.hIcon = FIcon;
  lstrcpynW(data.szTip, FHint.c_str(), static_cast<int>(std::size(data.szTip)));
  if (Shell_NotifyIconW(NIM_ADD, &data) == FALSE) return false;
  data.uVersion = NOTIFYICON_VERSION_4;
  FVersion4 = Shell_NotifyIconW(NIM_SETVERSION, &data) != FALSE;
  FShown = true;
  return true;
}

TTrayIcon::TRetry TTrayIcon::Retry() {
  if (!FWanted || FShown) return TRetry::Added;
  if (Add()) return TRetry::Added;
  if (--FRetriesLeft > 0) return TRetry::Again;
  FWanted = false;
  return TRetry::GaveUp;
}

void TTrayIcon::Hide() {
  FWanted = false;
  if (!FShown) return;
  FShown = false;
  NOTIFYICONDATAW data = IconData(FWindow);
  Shell_NotifyIconW(NIM_DELETE, &data);
}

bool TTrayIcon::ShellRestarted() {
  if (!FWanted) return false;
  const bool waiting = !FShown;
  FShown = false;
  return Add() && waiting;
}

void TTrayIcon::ReturnFocus() {
  if (!FShown) return;
  NOTIFYICONDATAW data = IconData(FWindow);
  Shell_NotifyIconW(NIM_SETFOCUS, &data);
}
