// SPDX-License-Identifier: MIT
#pragma once
// The resources' ids, which the resource compiler reads too: plain numbers, no includes.
#define IDI_KESTRINE 1
