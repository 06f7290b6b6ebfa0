// SPDX-License-Identifier: MIT
// The clock of the tests' helper: it refuses as the kernel would without
// cap_sys_time, and otherwise appends the instant to a file named when it was
// built, since the helper reads neither its environment nor its arguments.
#include <fcntl.h>
#include <linux/capability.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "ClockSetter.h"
#include "HelperMain.h"

int SetClock(std::int64_t instantMs) {
  if (!Helper::HasEffective(CAP_SYS_TIME)) return EPERM;
  const int record = open(KESTRINE_TEST_CLOCK_RECORD, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (record < 0) return errno;
  const std::string line = std::to_string(instantMs) + "\n";
  const bool written = write(record, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  close(record);
  return written ? 0 : EIO;
}
