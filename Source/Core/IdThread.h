// SPDX-License-Identifier: MIT
#pragma once
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// A thread that runs passes until stopped, with its flags under a re-entrant lock.
// It starts suspended or running; RequestStart resumes it, RequestStop ends it
// after the current pass.
class TIdThread {
public:
  TIdThread(bool createSuspended, bool repeatRun, std::string threadName);
  virtual ~TIdThread();
  TIdThread(const TIdThread&) = delete;
  TIdThread& operator=(const TIdThread&) = delete;

  virtual void RequestStart();
  virtual void RequestStop();
  virtual void RequestTerminate();
  bool IsStopped();
  bool Terminated();
  // Waits until the thread has ended. On the window's thread it keeps running the
  // steps that other threads hand to it meanwhile, so a thread blocked in such a
  // step can finish.
  void WaitForEnd();
  // Has the window's thread run step; a failure of the step is raised again here.
  static void RunSynchronized(const std::function<void()>& step);

  bool RepeatRun;
  std::string ThreadName;

protected:
  // Starts the platform thread; call at the end of the most derived constructor,
  // so that the body never runs on a half-built object.
  void StartThread();
  // Call first in the most derived destructor: ends the thread while the derived
  // overrides still exist.
  void EndThread();

  virtual void PrepareRun() {}
  virtual void FinishRun() {}  // after the passes, also after a failure
  virtual void RunPass() = 0;
  // Test hook: runs after the thread found itself stopped, just before it suspends.
  virtual void BeforeSuspend() {}
  // For tests: true only while the thread waits in its suspension (FSuspended is
  // set under FStateLock, which the thread holds until its wait releases it).
  bool IsSuspended();

private:
  void Execute();
  void RunOnce();
  void RunPasses();
  // Suspends until RequestStart; false, without suspending, once terminated.
  bool WaitWhileSuspended();

  std::unique_ptr<std::recursive_mutex> FFlagLock = std::make_unique<std::recursive_mutex>();
  bool FStopFlag = false;  // stopped, or created suspended and not yet started
  bool FTerminated = false;
  bool FSuspended = false;  // waits suspended
  bool FEnded = false;
  std::mutex FStateLock;  // suspension and end, for the waits below
  std::condition_variable FStateChanged;
  std::thread FThread;
};
