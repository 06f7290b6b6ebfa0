// SPDX-License-Identifier: MIT
#pragma once
#include <windows.h>

#include <string>

// The icon in the notification area while the window is there, in the shell's
// fourth protocol version: its events come to the window as WM_KESTRINE_TRAY
// with the event in the low word of lParam (NIN_SELECT, NIN_KEYSELECT,
// WM_CONTEXTMENU) and the anchor point in wParam.
class TTrayIcon {
public:
  static constexpr int RetryMs = 1000;
  static constexpr int Retries = 20;  // a shell still starting at log-in

  // The journeys' program stands in for a shell that refuses the first adds.
  static inline int Refusals = 0;

  TTrayIcon(HWND window, HICON icon) : FWindow(window), FIcon(icon) {}
  ~TTrayIcon() { Hide(); }
  TTrayIcon(const TTrayIcon&) = delete;
  TTrayIcon& operator=(const TTrayIcon&) = delete;

  // True when the icon is there now; else the owner calls Retry every RetryMs.
  bool Show(const std::string& hint);
  void Hide();
  bool Shown() const { return FShown; }
  // An older shell keeps the first protocol: a right-button release, no WM_CONTEXTMENU.
  bool Version4() const { return FVersion4; }
  enum class TRetry { Added, Again, GaveUp };
  TRetry Retry();
  // Explorer started again and lost its icons: add ours again while it is wanted.
  // True when that added an icon that had been waiting for a shell.
  bool ShellRestarted();
  // After its menu: the keyboard goes back to the notification area.
  void ReturnFocus();

private:
  bool Add();

  HWND FWindow;
  HICON FIcon;
  std::wstring FHint;
  bool FWanted = false;
  bool FShown = false;
  int FRetriesLeft = 0;
  bool FVersion4 = false;
};
