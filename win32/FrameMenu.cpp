#include "FrameMenu.h"

#include "ControlIds.h"
#include "Platform/Windows/Utf8.h"

namespace {

struct TMenuId {
  TFrameCommand Command;
  UINT Id;
};

constexpr TMenuId MenuIds[] = {
    {TFrameCommand::Restore, IDM_RESTORE},
    {TFrameCommand::Minimize, IDM_MINIMIZE},
    {TFrameCommand::Rollup, IDM_ROLLUP},
    {TFrameCommand::MinimizeToTray, IDM_MINIMIZE_TO_TRAY},
    // The system's own close command: Windows (and Wine, for a window manager's
    // close) closes a window only while its system menu holds SC_CLOSE.
    {TFrameCommand::Close, SC_CLOSE},
    {TFrameCommand::Close, IDM_CLOSE},
};

}  // namespace

void FillMenu(HMENU menu, const std::vector<TMenuItem>& items) {
  while (GetMenuItemCount(menu) > 0) DeleteMenu(menu, 0, MF_BYPOSITION);
  for (const TMenuItem& item : items) {
    if (item.Separator) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    std::string caption = item.Caption;
    if (!item.Shortcut.empty()) caption += "\t" + item.Shortcut;
    AppendMenuW(menu, MF_STRING, MenuIdOf(item.Command), Platform::WideFromUtf8(caption).c_str());
  }
}

UINT MenuIdOf(TFrameCommand command) {
  for (const TMenuId& entry : MenuIds)
    if (entry.Command == command) return entry.Id;
  return SC_CLOSE;
}

std::optional<TFrameCommand> CommandOfMenuId(UINT id) {
  for (const TMenuId& entry : MenuIds)
    if (entry.Id == id) return entry.Command;
  return std::nullopt;
}
