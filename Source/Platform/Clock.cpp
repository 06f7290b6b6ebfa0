// SPDX-License-Identifier: MIT
#include "Platform/Clock.h"

namespace Platform {
namespace {

TClockSource* GInstalled = nullptr;

}  // namespace

TClockSource& Clock() { return GInstalled ? *GInstalled : SystemClock(); }

void InstallClock(TClockSource* source) { GInstalled = source; }

}  // namespace Platform
