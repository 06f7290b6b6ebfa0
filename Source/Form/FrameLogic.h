// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Form/FormView.h"

enum class TFrameState { Normal, RolledUp, InTray };

// ToggleRollup is the caption bar's roll-up button: rolls up, or back down when rolled up.
enum class TFrameCommand { Restore, Minimize, Rollup, MinimizeToTray, Close, ToggleRollup };

// One entry of the system menu or of the notification-area icon's menu.
struct TMenuItem {
  bool Separator = false;
  std::string Caption;
  std::string Shortcut;  // shown beside the caption
  TFrameCommand Command = TFrameCommand::Close;
};

// The behaviour of the window's frame: normal, rolled up to its caption bar, or
// hidden in the notification area. Every way of minimizing calls OnMinimize,
// which the window points at its TeForm1Minimize.
class TFrameLogic {
public:
  TFrameLogic(IFormView& view, const std::string& hint);

  TFrameState State() const { return FState; }
  // The system menu's items in the current state, in order.
  std::vector<TMenuItem> SystemMenu() const { return SystemMenuIn(FState); }
  static std::vector<TMenuItem> SystemMenuIn(TFrameState state);
  // What the notification-area icon's right button offers.
  static std::vector<TMenuItem> TrayMenu();
  void Execute(TFrameCommand command);

  void Rollup();
  void Unroll();
  void ToggleRollup();
  // Remembers the state (and from the normal state the bounds), shows the icon
  // and, once it is there, hides the window. Without a notification area the window is minimized the
  // ordinary way instead, so that it stays reachable.
  void MoveToTray();
  // Shows the window again in the state (and bounds) it had, and removes the icon.
  void RestoreFromTray();
  // A later start of the program: the window comes back whole and in front,
  // from the notification area, rolled up or minimized.
  void BringBack();
  // The answer to an icon that could not be added at once: it came after all,
  // and the window hides now; or it never did, and the window is minimized the
  // ordinary way instead, so that it stays reachable.
  void TrayIconAdded();
  void TrayIconFailed();
  // The icon goes with the window and with the session.
  void RemoveIcon();
  // The system minimized the window (the taskbar, a window manager, a start
  // "minimized"): like any minimize it goes to the notification area, unless
  // the frame asked for the ordinary minimize itself. From the normal state
  // first, so that the bounds to restore are the real ones.
  void MinimizedBySystem();
  // The window is no longer minimized, whoever restored it.
  void NoLongerMinimized() { FOrdinaryMinimize = false; }

  std::function<void()> OnMinimize;

private:
  void Minimize();
  void MinimizeOrdinary();

  IFormView* FView;
  std::string FHint;
  TFrameState FState = TFrameState::Normal;
  TFrameState FStateBeforeTray = TFrameState::Normal;
  TBounds FNormalBounds;
  bool FHaveBounds = false;
  bool FOrdinaryMinimize = false;  // minimized the ordinary way, at the frame's own wish
};

// The caption bar's icon takes the mouse as a system menu's icon does: a press
// opens the system menu below it at once, without waiting for a double click;
// a second press within the double-click time of the one that opened it closes
// the window, as a double click on it does. A later press on it while that menu
// shows only closes the menu.
class TIconClicks {
public:
  enum class TAction { OpenMenu, CloseMenu, CloseWindow };
  // A press at the event's own time (so that a busy program still tells a double
  // click), in ms; menuShown: the menu still shows and took the press.
  TAction Pressed(std::uint64_t timeMs, std::uint64_t doubleClickMs, bool menuShown);
  TAction DoubleClicked();

private:
  std::optional<std::uint64_t> FMenuOpenedAt;
};
