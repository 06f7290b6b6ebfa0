// SPDX-License-Identifier: MIT
#pragma once
#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "CaptionBar.h"
#include "ControlLayout.h"
#include "Form/Form1.h"
#include "Form/FormView.h"
#include "TrayIcon.h"

// The main window drawn with Win32: it builds the controls at their places, shows
// what the logic (TForm1) writes and forwards every event to it. It decides nothing.
// The frame is the program's own: a border, the caption bar and, below it, the
// client area that the controls' places are relative to (FormSpec).
class TMainWindow final : public IFormView {
public:
  static constexpr UINT WM_KESTRINE_WAKE = WM_APP;  // run the window's-thread call queue

  explicit TMainWindow(HINSTANCE instance);
  ~TMainWindow() override;
  TMainWindow(const TMainWindow&) = delete;
  TMainWindow& operator=(const TMainWindow&) = delete;

  bool Create();
  // Made after every control exists; it runs FormCreate.
  void CreateForm(TFormOptions options);
  HWND Handle() const { return FWindow; }
  // Keys of the window as a whole, before the dialog keys: Ctrl+Tab and
  // Ctrl+PageDown (with Shift, or PageUp, backwards) turn the pages.
  bool PreTranslate(const MSG& message);
  // The call queue's wake-up, callable from any thread, also after the window is gone.
  static std::function<void()> WakeHook(HWND window);

  // IFormView.
  std::string Text(TControl control) const override;
  void SetText(TControl control, const std::string& text) override;
  void SetFontColor(TControl control, int color) override;
  void SetEnabled(TControl control, bool enabled) override;
  bool Checked(TControl control) const override;
  void SetChecked(TControl control, bool checked) override;
  int ItemIndex(TControl control) const override;
  void SetItemIndex(TControl control, int index) override;
  void SetTimer(TTimerId timer, std::uint32_t intervalMs, bool enabled) override;
  void ShowErrorBox(const std::string& text) override;
  bool TrayAvailable() override;
  TBounds WindowBounds() override;
  void HideWindow() override;
  void ShowWindow(const TBounds* bounds) override;
  void MinimizeOrdinary() override;
  void Unminimize() override;
  void SetRolledUp(bool rolledUp) override;
  bool ShowTrayIcon(const std::string& hint) override;
  void RemoveTrayIcon() override;
  void CloseWindow() override;

private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleForm(UINT message, WPARAM wParam, LPARAM lParam);
  void Command(int id, int code);
  bool SysCommand(WPARAM command, LPARAM key);
  void TrayMessage(UINT event, WPARAM anchor);
  void TrayRetried(TTrayIcon::TRetry result);
  LRESULT ControlColor(HDC dc, HWND control, bool edit);
  void MinimizedFromOutside();
  void PageChanged();
  void ShowSystemMenu(POINT screen);
  void RunMenuCommand(UINT id);
  void RunCommand(TFrameCommand command);
  void RebuildSystemMenu();
  void DpiChanged(int dpi, const RECT& suggested);
  RECT ClientBounds() const;  // in the window, at its DPI
  void ApplySize();
  void PaintBorder();
  HWND Control(TControl control) const { return FLayout.Controls[static_cast<std::size_t>(control)]; }
  int IndexOf(HWND control) const;
  // Held while a menu or a box of the window's own runs its message loop.
  std::unique_ptr<TForm1::TNestedLoop> NestedLoop();

  HINSTANCE FInstance;
  HWND FWindow = nullptr;
  HWND FClient = nullptr;
  TScale FScale;
  HFONT FFont = nullptr;
  HICON FIcon = nullptr;
  HICON FSmallIcon = nullptr;
  HICON FCaptionIcon = nullptr;  // the caption bar's, at its DPI
  UINT FTaskbarCreated = 0;
  UINT FAnotherStart = 0;
  std::unique_ptr<TCaptionBar> FCaption;
  std::unique_ptr<TTrayIcon> FTray;
  TClientControls FLayout;
  TBoxNames FBoxNames;
  std::array<int, ControlCount> FColors{};  // Windows colour values; -1: the system's
  bool FRolledUp = false;
  HWND FFocus = nullptr;
  std::unique_ptr<TForm1> FForm;                 // made last and destroyed first: it saves from the controls
  std::optional<TForm1::TNestedLoop> FMoveLoop;  // the system's move loop (dragging the caption bar)
};
