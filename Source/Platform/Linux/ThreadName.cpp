// SPDX-License-Identifier: MIT
#include "Platform/ThreadName.h"

#include <pthread.h>

namespace Platform {

void SetCurrentThreadName(const std::string& name) { pthread_setname_np(pthread_self(), name.substr(0, 15).c_str()); }

}  // namespace Platform
