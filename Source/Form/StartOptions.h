// SPDX-License-Identifier: MIT
#pragma once
#include "Form/Form1.h"

// What the program's entry hands the window: the executable's path, where the
// settings file lies (beside it, or in the user's folder), and the regional
// settings that the front-end read.
TFormOptions StartOptions(TFormatSettings userFormat, TFormatSettings usFormat);
