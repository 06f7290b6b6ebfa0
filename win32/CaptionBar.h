#pragma once
#include <windows.h>

#include <functional>

#include "ControlLayout.h"

// The window's own caption bar: the application's icon (a click opens the
// system menu, a double click closes the window), the caption, and the frame's
// buttons (minimize to tray, roll up, minimize, close) as child buttons whose
// clicks reach the top-level window as WM_COMMAND. Dragging it moves the window.
class TCaptionBar {
public:
  static constexpr int Height = 20;  // at 96 DPI

  static void RegisterWindowClass(HINSTANCE instance);
  TCaptionBar(HWND root, HINSTANCE instance, const TScale& scale, HICON icon, HFONT buttonFont);
  ~TCaptionBar();
  TCaptionBar(const TCaptionBar&) = delete;
  TCaptionBar& operator=(const TCaptionBar&) = delete;

  HWND Handle() const { return FWindow; }
  void SetRolledUp(bool rolledUp);
  void SetActive(bool active);
  // The buttons' tips, which no one sees before the window is: made after it is shown.
  void AddTips();
  // At another DPI: places, fonts and the icon (which the owner keeps) anew.
  void Rescale(const TScale& scale, HICON icon, HFONT buttonFont);

  // Opens the system menu with its top left corner at this screen point.
  std::function<void(POINT)> OnSystemMenu;
  std::function<void()> OnClose;

private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void Paint();
  void DrawButton(const DRAWITEMSTRUCT& item);
  static LRESULT CALLBACK ButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data);
  void SetHot(HWND button);
  RECT IconRect() const;
  void IconPressed();

  HWND FRoot;
  HWND FWindow = nullptr;
  HWND FTips = nullptr;
  TScale FScale;
  HICON FIcon;
  HFONT FCaptionFont = nullptr;
  bool FRolledUp = false;
  bool FActive = true;
  HWND FHot = nullptr;  // the button under the mouse
  DWORD FMenuOpenedAt = 0;
  bool FMenuOpened = false;
};
