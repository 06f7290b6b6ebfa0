// SPDX-License-Identifier: MIT
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The window as the logic sees it: its controls by name, its timers and the
// services of its frame. A front-end (Qt on Linux, Win32 on Windows) builds the
// controls, implements this over them and forwards the user's actions to TForm1.
// Texts are UTF-8 on this side of the interface.

// The window's controls: first those that the logic reads or writes, then
// those that only show (ControlTable.h holds what each is).
enum class TControl : std::uint8_t {
  TeSEdit1,        // Server Time box
  TeSEdit2,        // Local Time box
  TeSEdit3,        // Difference box
  TeButton1,       // "Synchroize"
  TeButton2,       // "Refresh"
  ckNistServer,    // radio button
  ckCustomServer,  // radio button, same group
  edtServer,
  cbSeverType,  // "SNTP", "Time"
  labCurServer,
  ckSyncTime,
  edtSyncTime,
  ckRunStartup,
  ckSyncOnStart,
  ckTimeLocaFormat,  // radio button
  ckUTCFormat,       // radio button, same group
  ckRunTimeServer,
  TeLabel1,
  TeLabel2,
  TeLabel3,
  TePageControl1,
  TeTabSheet1,
  TeTabSheet2,
  TeTabSheet4,
  TeScrollingLabel1,
  TeScrollingLabel2,
  TeLabel4,
  TeGroupBox1,
  TeGroupBox2,
};
inline constexpr std::size_t ControlCount = static_cast<std::size_t>(TControl::TeGroupBox2) + 1;

enum class TTimerId : std::uint8_t { Timer1, SyncTimer };

// The window's bounds on the screen, for restoring them.
struct TBounds {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  bool operator==(const TBounds&) const = default;
};

class IFormView {
public:
  virtual ~IFormView() = default;

  // Edit boxes and labels.
  virtual std::string Text(TControl control) const = 0;
  virtual void SetText(TControl control, const std::string& text) = 0;
  // Windows colour values: 0 black, 255 red.
  virtual void SetFontColor(TControl control, int color) = 0;
  virtual void SetEnabled(TControl control, bool enabled) = 0;
  // Check boxes and radio buttons. Setting runs no handler and leaves the other
  // buttons of a radio group alone: the logic does both.
  virtual bool Checked(TControl control) const = 0;
  virtual void SetChecked(TControl control, bool checked) = 0;
  // The list's selected item; setting it runs no handler.
  virtual int ItemIndex(TControl control) const = 0;
  virtual void SetItemIndex(TControl control, int index) = 0;

  // Starts the timer afresh with this period, or stops it. The logic calls it only
  // when the interval or the enabled state really changes.
  virtual void SetTimer(TTimerId timer, std::uint32_t intervalMs, bool enabled) = 0;

  // The program's error box: error icon, OK, titled with the application title; modal.
  virtual void ShowErrorBox(const std::string& text) = 0;

  // The frame.
  virtual bool TrayAvailable() = 0;
  virtual TBounds WindowBounds() = 0;
  virtual void HideWindow() = 0;                       // the window and its taskbar button vanish
  virtual void ShowWindow(const TBounds* bounds) = 0;  // restore, show, bring to the foreground
  virtual void MinimizeOrdinary() = 0;                 // no notification area: the ordinary minimize
  virtual void Unminimize() = 0;                       // back from a minimize, not yet brought to the front
  virtual void SetRolledUp(bool rolledUp) = 0;         // only the caption bar, or the whole window
  // True when the icon is there now. Otherwise the front-end keeps trying for a
  // while and tells the frame (TFrameLogic::TrayIconAdded or TrayIconFailed).
  virtual bool ShowTrayIcon(const std::string& hint) = 0;
  virtual void RemoveTrayIcon() = 0;
  virtual void CloseWindow() = 0;  // ends the program through its normal path
};
