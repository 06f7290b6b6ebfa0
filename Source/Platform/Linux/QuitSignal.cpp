// SPDX-License-Identifier: MIT
#include "Platform/QuitSignal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iterator>

namespace Platform {

namespace {

constexpr int QuitSignals[] = {SIGTERM, SIGINT, SIGHUP};
struct sigaction PreviousActions[std::size(QuitSignals)];
bool Watched[std::size(QuitSignals)];
volatile sig_atomic_t WriteHandle = -1;

// Only async-signal-safe calls: one byte into the pipe; a full pipe already says enough.
void OnQuitSignal(int) {
  const int savedErrno = errno;
  const char byte = 1;
  if (WriteHandle >= 0 && write(WriteHandle, &byte, 1) < 0) {
  }
  errno = savedErrno;
}

}  // namespace

TQuitSignalWatch::TQuitSignalWatch() {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
    FErrorText = std::strerror(errno);
    return;
  }
  FReadHandle = ends[0];
  WriteHandle = ends[1];
  for (std::size_t i = 0; i < std::size(QuitSignals); ++i) {
    struct sigaction action {};
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    Watched[i] = sigaction(QuitSignals[i], nullptr, &PreviousActions[i]) == 0 &&
                 PreviousActions[i].sa_handler != SIG_IGN && sigaction(QuitSignals[i], &action, nullptr) == 0;
  }
  FInstalled = true;
}

TQuitSignalWatch::~TQuitSignalWatch() {
  Restore();
  if (FReadHandle < 0) return;
  const int writeHandle = WriteHandle;
  WriteHandle = -1;
  close(writeHandle);
  close(FReadHandle);
}

void TQuitSignalWatch::Restore() {
  if (!FInstalled) return;
  FInstalled = false;
  for (std::size_t i = 0; i < std::size(QuitSignals); ++i)
    if (Watched[i]) sigaction(QuitSignals[i], &PreviousActions[i], nullptr);
}

bool TQuitSignalWatch::Acknowledge() {
  if (FReadHandle < 0) return false;
  bool requested = false;
  char buffer[64];
  while (read(FReadHandle, buffer, sizeof buffer) > 0) requested = true;
  if (requested) Restore();
  return requested;
}

}  // namespace Platform
