// SPDX-License-Identifier: MIT
#include "FrameMenu.h"

#include "ControlIds.h"
#include "Platform/Windows/Utf8.h"

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
