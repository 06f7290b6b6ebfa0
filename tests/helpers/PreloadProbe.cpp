// SPDX-License-Identifier: MIT
// Loaded through LD_PRELOAD into a helper, it would leave a mark: the helpers
// must never run it. The mark's path is fixed when it is built, as a helper
// clears its environment before anything of its own could read it.
#include <fcntl.h>
#include <unistd.h>

namespace {

[[gnu::constructor]] void LeaveMark() {
  const int mark = open(KESTRINE_PRELOAD_MARK, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (mark >= 0) close(mark);
}

}  // namespace
