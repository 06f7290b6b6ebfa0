// SPDX-License-Identifier: MIT
#pragma once
#include <functional>
#include <vector>

#include "Form/FrameLogic.h"

class QMenu;

// The frame's menus (the system menu, the notification-area icon's menu) hold
// the logic's items; choosing one hands its command to onCommand.
void FillMenu(QMenu* menu, const std::vector<TMenuItem>& items, const std::function<void(TFrameCommand)>& onCommand);
