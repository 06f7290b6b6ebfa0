// SPDX-License-Identifier: MIT
#pragma once
#include <windows.h>

#include <cstddef>
#include <optional>
#include <string_view>

#include "Form/ControlTable.h"
#include "Form/FrameLogic.h"

// The Windows window's identifiers, all derived from the control table: the
// program uses them, and so do the tools that drive it from outside (they find
// it by its class, FormSpec().Name, and its controls with GetDlgCtrlID).

// A control's id: 1000 + its TControl.
inline constexpr int FirstControlId = 1000;
constexpr int ControlId(TControl control) { return FirstControlId + static_cast<int>(control); }
inline std::optional<TControl> ControlOfId(int id) {
  if (id < FirstControlId || id >= FirstControlId + static_cast<int>(ControlCount)) return std::nullopt;
  return static_cast<TControl>(id - FirstControlId);
}

// A caption-bar button's: 1200 + its place on the bar.
inline constexpr int FirstCaptionButtonId = 1200;
inline int CaptionButtonId(const TCaptionButtonSpec& button) {
  return FirstCaptionButtonId + static_cast<int>(&button - CaptionButtons().data());
}
inline const TCaptionButtonSpec* CaptionButtonOfId(int id) {
  const std::size_t index = static_cast<std::size_t>(id - FirstCaptionButtonId);
  return id >= FirstCaptionButtonId && index < CaptionButtons().size() ? &CaptionButtons()[index] : nullptr;
}

// A control's or a caption-bar button's id by its name; 0 for none.
inline int IdNamed(std::string_view name) {
  for (const TControlSpec& spec : ControlTable())
    if (name == spec.Name) return ControlId(spec.Id);
  for (const TCaptionButtonSpec& button : CaptionButtons())
    if (name == button.Name) return CaptionButtonId(button);
  return 0;
}

// A frame command's id in the system menu and as a WM_SYSCOMMAND: multiples of
// 16 below 0xF000, as the system menu requires. Close is the system's own
// SC_CLOSE: Windows (and Wine, for a window manager's close) closes a window
// only while its system menu holds that.
constexpr UINT MenuIdOf(TFrameCommand command) {
  return command == TFrameCommand::Close ? SC_CLOSE : 0x100 + 0x10 * static_cast<UINT>(command);
}
inline std::optional<TFrameCommand> CommandOfMenuId(UINT id) {
  for (int command = 0; command <= static_cast<int>(TFrameCommand::ToggleRollup); ++command)
    if (MenuIdOf(static_cast<TFrameCommand>(command)) == id) return static_cast<TFrameCommand>(command);
  return std::nullopt;
}

// The notification-area icon's id and its callback message.
inline constexpr UINT TrayIconId = 1;
inline constexpr UINT WM_KESTRINE_TRAY = WM_APP + 1;
