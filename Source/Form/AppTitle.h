// SPDX-License-Identifier: MIT
#pragma once

// The application title: the hint of the notification-area icon and the title of error boxes.
inline constexpr const char* ApplicationTitle = "Kestrine";
