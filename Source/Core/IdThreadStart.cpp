// SPDX-License-Identifier: MIT
#include "Core/IdThreadStart.h"

#include <atomic>
#include <string>
#include <system_error>

#include "System/IdException.h"

namespace {

std::atomic<int> GRefusals{0};

}  // namespace

namespace IdThreadStart {

std::thread Start(std::function<void()> body) {
  try {
    // The refusal is the one the system gives when it is out of threads.
    if (GRefusals.load() > 0) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return std::thread(std::move(body));
  } catch (const std::system_error& error) {
    throw Exception("Cannot start a thread: " + std::string(error.what()));
  }
}

TScopedRefusal::TScopedRefusal() { ++GRefusals; }

TScopedRefusal::~TScopedRefusal() { --GRefusals; }

}  // namespace IdThreadStart
