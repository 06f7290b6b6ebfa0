// SPDX-License-Identifier: MIT
#pragma once

class QLabel;
class QWidget;

// The program's one look, stored inside it: a style over the desktop's own that
// draws the window's frame, caption bar, read-only boxes, page control and group
// boxes in the program's colours, and the window's font, which every control
// and popup of the window inherits. Other windows of the program (the
// notification area's menu) keep the desktop's look.
void ApplyKestrineLook(QWidget* window);
// The caption on the caption bar: white and bold.
void ApplyCaptionLook(QLabel* caption);
