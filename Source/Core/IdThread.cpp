#include "Core/IdThread.h"

#include "Core/IdSync.h"
#include "Core/IdThreadStart.h"
#include "Platform/ThreadName.h"

TIdThread::TIdThread(bool createSuspended, bool repeatRun, std::string threadName)
    : RepeatRun(repeatRun), ThreadName(std::move(threadName)) {
  FOptions = OwnsRunData;
  if (createSuspended) FOptions |= StopFlag;
}

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
  std::lock_guard guard(*FlagLock);
  if (!IsStopped()) return;
  if (FTerminated)
    FOptions |= StopFlag;
  else
    FOptions &= static_cast<std::uint8_t>(~StopFlag);
  {
    std::lock_guard state(FStateLock);
    FSuspended = false;
  }
  FStateChanged.notify_all();
}

void TIdThread::RequestStop() {
  std::lock_guard guard(*FlagLock);
  if (IsStopped()) return;
  if (FStopAction == 0) RequestTerminate();
  FOptions |= StopFlag;
}

void TIdThread::RequestTerminate() {
  std::lock_guard guard(*FlagLock);
  FOptions |= StopFlag;
  FTerminated = true;
  // A thread told to end must not stay suspended: nobody would resume it.
  {
    std::lock_guard state(FStateLock);
    FSuspended = false;
  }
  FStateChanged.notify_all();
}

bool TIdThread::IsStopped() {
  if (!FlagLock) return true;
  std::lock_guard guard(*FlagLock);
  std::lock_guard state(FStateLock);
  return FTerminated || (FOptions & StopFlag) != 0 || FSuspended;
}

bool TIdThread::IsSuspended() {
  std::lock_guard state(FStateLock);
  return FSuspended;
}

bool TIdThread::Terminated() {
  std::lock_guard guard(*FlagLock);
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

void TIdThread::ReleaseRunData() {
  std::lock_guard guard(*FlagLock);
  FOptions &= static_cast<std::uint8_t>(~CleanupPending);
  if (FOptions & OwnsRunData) RunData.reset();
}

void TIdThread::DoException(const std::exception& error) {
  if (OnError) OnError(*this, error);
}

void TIdThread::DoStopped() {
  if (OnStopped) OnStopped(*this);
}

bool TIdThread::WaitWhileSuspended() {
  // Both flags are tested under FlagLock, which RequestStart and RequestTerminate
  // take before they clear FSuspended: neither can slip in between test and wait.
  std::unique_lock flags(*FlagLock);
  if (FTerminated) return false;
  if ((FOptions & StopFlag) == 0) return true;
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
  } catch (const std::exception& error) {
    if (HandleRunException(error)) return;
    RequestTerminate();
    FinishRun();
    throw;
  }
}

void TIdThread::RunOnce() {
  {
    std::lock_guard guard(*FlagLock);
    FOptions |= CleanupPending;
  }
  try {
    PrepareRun();
    RunPasses();
    FinishRun();
  } catch (...) {
    RequestTerminate();
    ReleaseRunData();
    throw;
  }
  ReleaseRunData();
}

void TIdThread::Execute() {
  Platform::SetCurrentThreadName(ThreadName.empty() ? "IdThread (unknown)" : ThreadName);
  try {
    BeforeRun();
    while (!Terminated()) {
      if (IsStopped()) {
        DoStopped();
        if (IsStopped()) {
          BeforeSuspend();
          if (!WaitWhileSuspended()) break;
          continue;
        }
      }
      RunOnce();
    }
    AfterRun();
  } catch (const std::exception& error) {
    EndingErrorClass = typeid(error);
    EndingErrorMessage = error.what();
    DoException(error);
    RequestTerminate();
  }
  {
    std::lock_guard state(FStateLock);
    FEnded = true;
  }
  FStateChanged.notify_all();
  IdSync::NotifyWaiters();
}
