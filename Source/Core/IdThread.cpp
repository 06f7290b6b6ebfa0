// SPDX-License-Identifier: MIT
#include "Core/IdThread.h"

#include "Core/IdSync.h"
#include "Core/IdThreadStart.h"
#include "Platform/ThreadName.h"

TIdThread::TIdThread(bool createSuspended, bool repeatRun, std::string threadName)
    : RepeatRun(repeatRun), ThreadName(std::move(threadName)), FStopFlag(createSuspended) {}

TIdThread::~TIdThread() { EndThread(); }

void TIdThread::StartThread() {
  FThread = IdThreadStart::Start([this] { Execute(); });
}

void TIdThread::EndThread() {
  if (!FThread.joinable()) return;
  RequestTerminate();  // also wakes a suspended thread
  FThread.join();
}

void TIdThread::RequestStart() {
  std::lock_guard guard(*FFlagLock);
  if (!IsStopped()) return;
  FStopFlag = FTerminated;
  {
    std::lock_guard state(FStateLock);
    FSuspended = false;
  }
  FStateChanged.notify_all();
}

void TIdThread::RequestStop() {
  std::lock_guard guard(*FFlagLock);
  if (IsStopped()) return;
  RequestTerminate();  // a stopped thread is never started again
}

void TIdThread::RequestTerminate() {
  std::lock_guard guard(*FFlagLock);
  FStopFlag = true;
  FTerminated = true;
  // A thread told to end must not stay suspended: nobody would resume it.
  {
    std::lock_guard state(FStateLock);
    FSuspended = false;
  }
  FStateChanged.notify_all();
}

bool TIdThread::IsStopped() {
  if (!FFlagLock) return true;
  std::lock_guard guard(*FFlagLock);
  std::lock_guard state(FStateLock);
  return FTerminated || FStopFlag || FSuspended;
}

bool TIdThread::IsSuspended() {
  std::lock_guard state(FStateLock);
  return FSuspended;
}

bool TIdThread::Terminated() {
  std::lock_guard guard(*FFlagLock);
  return FTerminated;
}

void TIdThread::WaitForEnd() {
  const auto ended = [this] {
    std::lock_guard state(FStateLock);
    return FEnded;
  };
  if (IdSync::IsMainThread()) {
    while (!IdSync::WaitPumping(ended, std::chrono::hours(1))) {
    }
  } else {
    std::unique_lock state(FStateLock);
    FStateChanged.wait(state, [this] { return FEnded; });
  }
}

void TIdThread::RunSynchronized(const std::function<void()>& step) { IdSync::RunSynchronized(step); }

bool TIdThread::WaitWhileSuspended() {
  // Both flags are tested under FFlagLock, which RequestStart and RequestTerminate
  // take before they clear FSuspended: neither can slip in between test and wait.
  std::unique_lock flags(*FFlagLock);
  if (FTerminated) return false;
  if (!FStopFlag) return true;
  std::unique_lock state(FStateLock);
  FSuspended = true;
  flags.unlock();
  FStateChanged.wait(state, [this] { return !FSuspended; });
  return true;
}

void TIdThread::RunPasses() {
  try {
    if (RepeatRun)
      while (!IsStopped()) RunPass();
    else
      RunPass();
  } catch (const std::exception&) {
    RequestTerminate();
    FinishRun();
    throw;
  }
}

void TIdThread::RunOnce() {
  try {
    PrepareRun();
    RunPasses();
    FinishRun();
  } catch (...) {
    RequestTerminate();
    throw;
  }
}

void TIdThread::Execute() {
  Platform::SetCurrentThreadName(ThreadName.empty() ? "IdThread (unknown)" : ThreadName);
  // A failure that leaves the passes ends the thread and is shown nowhere: the
  // listener reports a failed receive itself, and only its wait failing ends it.
  try {
    while (!Terminated()) {
      if (IsStopped()) {
        BeforeSuspend();
        if (!WaitWhileSuspended()) break;
        continue;
      }
      RunOnce();
    }
  } catch (const std::exception&) {
    RequestTerminate();
  }
  {
    std::lock_guard state(FStateLock);
    FEnded = true;
  }
  FStateChanged.notify_all();
  IdSync::NotifyWaiters();
}
