#pragma once
#include <windows.h>

#include <optional>
#include <vector>

#include "Form/FrameLogic.h"

// The frame's menus (the system menu, the notification-area icon's menu) are
// filled from the logic's items; their commands carry the IDM_* ids.
void FillMenu(HMENU menu, const std::vector<TMenuItem>& items);
UINT MenuIdOf(TFrameCommand command);
std::optional<TFrameCommand> CommandOfMenuId(UINT id);
