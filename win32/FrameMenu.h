// SPDX-License-Identifier: MIT
#pragma once
#include <windows.h>

#include <vector>

#include "Form/FrameLogic.h"

// The frame's menus (the system menu, the notification-area icon's menu) are
// filled from the logic's items; their commands carry the ids of MenuIdOf.
void FillMenu(HMENU menu, const std::vector<TMenuItem>& items);
