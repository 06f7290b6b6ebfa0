// SPDX-License-Identifier: MIT
#pragma once
#include <windows.h>

namespace Platform {

// One read or write on a handle opened for overlapped I/O, given at most
// timeoutMs (and ended early when `cancel`, if not null, is signalled): a
// pipe's other end may be slow or hostile, and neither the program's window
// nor the clock service may wait on it for long. Returns the Win32 result: 0,
// ERROR_MORE_DATA for a message longer than the buffer (the first part read),
// ERROR_TIMEOUT, ERROR_OPERATION_ABORTED when cancelled, or the I/O's error.
DWORD TimedPipeIo(HANDLE handle, bool write, void* buffer, DWORD size, DWORD timeoutMs, HANDLE cancel, DWORD& done);

}  // namespace Platform
