#pragma once
#include <windows.h>

#include <string>

// The icon in the notification area while the window is there. Its mouse
// messages come to the window as KESTRINE_WM_TRAY.
class TTrayIcon {
public:
  TTrayIcon(HWND window, HICON icon) : FWindow(window), FIcon(icon) {}
  ~TTrayIcon() { Hide(); }
  TTrayIcon(const TTrayIcon&) = delete;
  TTrayIcon& operator=(const TTrayIcon&) = delete;

  void Show(const std::string& hint);
  void Hide();
  bool Shown() const { return FShown; }
  // Explorer started again and lost its icons: add ours again while it is wanted.
  void ShellRestarted();

private:
  bool Add();

  HWND FWindow;
  HICON FIcon;
  std::wstring FHint;
  bool FShown = false;
};
