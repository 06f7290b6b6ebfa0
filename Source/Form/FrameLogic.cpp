// SPDX-License-Identifier: MIT
#include "Form/FrameLogic.h"

namespace {

TMenuItem Item(const char* caption, TFrameCommand command, const char* shortcut = "") {
  return {false, caption, shortcut, command};
}

TMenuItem Separator() { return {true, "", "", TFrameCommand::Close}; }

}  // namespace

// The notification area keeps 63 characters of a hint.
TFrameLogic::TFrameLogic(IFormView& view, const std::string& hint) : FView(&view), FHint(hint.substr(0, 63)) {}

std::vector<TMenuItem> TFrameLogic::SystemMenuIn(TFrameState state) {
  switch (state) {
    case TFrameState::Normal:
      return {Item("Mi&nimize", TFrameCommand::Minimize), Item("Ro&llup", TFrameCommand::Rollup),
              Item("Minimize to &Tray", TFrameCommand::MinimizeToTray), Separator(),
              Item("&Close", TFrameCommand::Close, "Alt+F4")};
    case TFrameState::RolledUp:
      return {Item("&Restore", TFrameCommand::Restore), Item("Mi&nimize", TFrameCommand::Minimize),
              Item("Minimize to &Tray", TFrameCommand::MinimizeToTray), Separator(),
              Item("&Close", TFrameCommand::Close, "Alt+F4")};
    case TFrameState::InTray: break;
  }
  return TrayMenu();
}

std::vector<TMenuItem> TFrameLogic::TrayMenu() {
  return {Item("&Restore", TFrameCommand::Restore), Separator(), Item("&Close", TFrameCommand::Close, "Alt+F4")};
}

void TFrameLogic::Execute(TFrameCommand command) {
  switch (command) {
    case TFrameCommand::Restore:
      if (FState == TFrameState::InTray)
        RestoreFromTray();
      else
        Unroll();
      return;
    case TFrameCommand::Minimize:
    case TFrameCommand::MinimizeToTray: Minimize(); return;
    case TFrameCommand::Rollup: Rollup(); return;
    case TFrameCommand::ToggleRollup: ToggleRollup(); return;
    case TFrameCommand::Close: FView->CloseWindow(); return;
  }
}

void TFrameLogic::Minimize() {
  if (OnMinimize)
    OnMinimize();
  else
    MoveToTray();
}

void TFrameLogic::MinimizeOrdinary() {
  FOrdinaryMinimize = true;
  FView->MinimizeOrdinary();
}

void TFrameLogic::MinimizedBySystem() {
  if (FOrdinaryMinimize || FState == TFrameState::InTray) return;
  if (!FView->TrayAvailable()) {
    FOrdinaryMinimize = true;  // it stays where the system put it
    return;
  }
  FView->Unminimize();
  Minimize();
}

void TFrameLogic::Rollup() {
  if (FState != TFrameState::Normal) return;
  FState = TFrameState::RolledUp;
  FView->SetRolledUp(true);
}

void TFrameLogic::Unroll() {
  if (FState != TFrameState::RolledUp) return;
  FState = TFrameState::Normal;
  FView->SetRolledUp(false);
}

void TFrameLogic::ToggleRollup() {
  if (FState == TFrameState::RolledUp)
    Unroll();
  else
    Rollup();
}

void TFrameLogic::MoveToTray() {
  if (FState == TFrameState::InTray || FOrdinaryMinimize) return;
  if (!FView->TrayAvailable()) {
    MinimizeOrdinary();
    return;
  }
  FStateBeforeTray = FState;
  FHaveBounds = FState == TFrameState::Normal;
  if (FHaveBounds) FNormalBounds = FView->WindowBounds();
  FState = TFrameState::InTray;
  // Hidden without an icon, the window could not be brought back.
  if (FView->ShowTrayIcon(FHint)) FView->HideWindow();
}

void TFrameLogic::TrayIconAdded() {
  if (FState == TFrameState::InTray) FView->HideWindow();
}

void TFrameLogic::TrayIconFailed() {
  if (FState != TFrameState::InTray) return;
  FState = FStateBeforeTray;
  MinimizeOrdinary();
}

void TFrameLogic::RestoreFromTray() {
  if (FState != TFrameState::InTray) return;
  FState = FStateBeforeTray;
  FView->ShowWindow(FHaveBounds ? &FNormalBounds : nullptr);
  FView->RemoveTrayIcon();
}

void TFrameLogic::BringBack() {
  RestoreFromTray();
  Unroll();
  FView->ShowWindow(nullptr);
}

void TFrameLogic::RemoveIcon() {
  if (FState == TFrameState::InTray) FView->RemoveTrayIcon();
}

TIconClicks::TAction TIconClicks::Pressed(std::uint64_t timeMs, std::uint64_t doubleClickMs, bool menuShown) {
  if (FMenuOpenedAt && timeMs - *FMenuOpenedAt <= doubleClickMs) return DoubleClicked();
  if (menuShown) return TAction::CloseMenu;
  FMenuOpenedAt = timeMs;
  return TAction::OpenMenu;
}

TIconClicks::TAction TIconClicks::DoubleClicked() {
  FMenuOpenedAt.reset();
  return TAction::CloseWindow;
}
