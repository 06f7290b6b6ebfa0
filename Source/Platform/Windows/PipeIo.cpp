// SPDX-License-Identifier: MIT
#include "Platform/Windows/PipeIo.h"

namespace Platform {

DWORD TimedPipeIo(HANDLE handle, bool write, void* buffer, DWORD size, DWORD timeoutMs, HANDLE cancel, DWORD& done) {
  done = 0;
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (overlapped.hEvent == nullptr) return GetLastError();
  const BOOL started = write ? WriteFile(handle, buffer, size, nullptr, &overlapped)
                             : ReadFile(handle, buffer, size, nullptr, &overlapped);
  DWORD result = started ? 0 : GetLastError();
  if (result == ERROR_IO_PENDING) {
    const HANDLE waits[] = {overlapped.hEvent, cancel};
    const DWORD woke = WaitForMultipleObjects(cancel != nullptr ? 2 : 1, waits, FALSE, timeoutMs);
    if (woke != WAIT_OBJECT_0) {
      CancelIoEx(handle, &overlapped);
      result = woke == WAIT_OBJECT_0 + 1 ? ERROR_OPERATION_ABORTED : ERROR_TIMEOUT;
    } else {
      result = 0;
    }
  }
  // Also after a cancel: the I/O must be over before its buffer and event go.
  if (result == 0 || result == ERROR_MORE_DATA || result == ERROR_TIMEOUT || result == ERROR_OPERATION_ABORTED) {
    const BOOL finished = GetOverlappedResult(handle, &overlapped, &done, TRUE);
    if (result == 0 && !finished) result = GetLastError();
    if (result == ERROR_TIMEOUT || result == ERROR_OPERATION_ABORTED) done = 0;
  }
  CloseHandle(overlapped.hEvent);
  return result;
}

}  // namespace Platform
