// SPDX-License-Identifier: MIT
#pragma once
#include <windows.h>

#include <functional>

#include "ControlLayout.h"
#include "Form/FrameLogic.h"

// The window's own caption bar: the application's icon (it takes clicks as
// TIconClicks says), the caption, and the buttons of the table (ControlTable.h)
// as child buttons. Dragging it moves the window.
class TCaptionBar {
public:
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
  std::function<void(TFrameCommand)> OnCommand;  // a button's, or the icon's close

private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void Paint();
  void DrawButton(const DRAWITEMSTRUCT& item);
  static LRESULT CALLBACK ButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data);
  void SetHot(HWND button);
  RECT IconRect() const;
  void IconAction(TIconClicks::TAction action);
  void Command(TFrameCommand command);

  HWND FRoot;
  HWND FWindow = nullptr;
  HWND FTips = nullptr;
  TScale FScale;
  HICON FIcon;
  HFONT FCaptionFont = nullptr;
  bool FRolledUp = false;
  bool FActive = true;
  HWND FHot = nullptr;  // the button under the mouse
  TIconClicks FIconClicks;
};
