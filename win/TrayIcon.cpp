#include "TrayIcon.h"

#include <shellapi.h>

#include "ControlIds.h"
#include "Platform/Windows/Utf8.h"

namespace {

NOTIFYICONDATAW IconData(HWND window) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = window;
  data.uID = KESTRINE_TRAY_ID;
  return data;
}

}  // namespace

void TTrayIcon::Show(const std::string& hint) {
  FHint = Platform::WideFromUtf8(hint);
  FShown = true;
  // A shell that is not there yet announces itself with TaskbarCreated later.
  Add();
}

bool TTrayIcon::Add() {
  NOTIFYICONDATAW data = IconData(FWindow);
  data.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
  data.uCallbackMessage = KESTRINE_WM_TRAY;
  data.hIcon = FIcon;
  lstrcpynW(data.szTip, FHint.c_str(), static_cast<int>(std::size(data.szTip)));
  return Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
}

void TTrayIcon::Hide() {
  if (!FShown) return;
  FShown = false;
  NOTIFYICONDATAW data = IconData(FWindow);
  Shell_NotifyIconW(NIM_DELETE, &data);
}

void TTrayIcon::ShellRestarted() {
  if (FShown) Add();
}
