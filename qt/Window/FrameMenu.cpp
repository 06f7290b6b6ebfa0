// SPDX-License-Identifier: MIT
#include "FrameMenu.h"

#include <QAction>
#include <QMenu>

void FillMenu(QMenu* menu, const std::vector<TMenuItem>& items, const std::function<void(TFrameCommand)>& onCommand) {
  for (const TMenuItem& item : items) {
    if (item.Separator) {
      menu->addSeparator();
      continue;
    }
    QAction* action = menu->addAction(QString::fromUtf8(item.Caption), menu,
                                      [onCommand, command = item.Command] { onCommand(command); });
    if (!item.Shortcut.empty()) action->setShortcut(QKeySequence(QString::fromUtf8(item.Shortcut)));
  }
}
