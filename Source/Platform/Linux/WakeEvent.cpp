// SPDX-License-Identifier: MIT
#include "Platform/WakeEvent.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace Platform {

TWakeEvent::TWakeEvent() : FHandle(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

TWakeEvent::~TWakeEvent() {
  if (FHandle >= 0) close(FHandle);
}

void TWakeEvent::Signal() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto written = write(FHandle, &one, sizeof one);  // a full counter is awake anyway
}

void TWakeEvent::Clear() {
  std::uint64_t count = 0;
  [[maybe_unused]] const auto read = ::read(FHandle, &count, sizeof count);
}

}  // namespace Platform
