// SPDX-License-Identifier: MIT
#pragma once
#include <chrono>
#include <exception>
#include <functional>
#include <memory>

// The window's-thread call queue. A worker or listener hands a step to the
// window's thread with RunSynchronized and blocks until it has run there; an
// exception thrown by the step is thrown again in the caller. The window's
// thread runs queued steps when its event loop is idle (the installed wake hook
// arranges that) and inside WaitPumping.

// Raised in a caller whose gate was closed: its owner is gone, and the step did not run.
class ESyncCancelled : public std::exception {
public:
  const char* what() const noexcept override { return "The window is gone."; }
};

// Ties queued steps to an owner; closing it fails the owner's pending and later steps.
struct TSyncGate {
  bool Closed = false;  // guarded by the queue's lock
};

namespace IdSync {

// Marks the calling thread as the window's thread; call once at start.
void SetMainThread();
bool IsMainThread();
// Called (from any thread) whenever a step is queued; the GUI arranges for RunQueued soon after.
void SetWakeHook(std::function<void()> hook);

void RunSynchronized(const std::function<void()>& step, const std::shared_ptr<TSyncGate>& gate = nullptr);
// Window's thread: runs the steps queued before the call; returns how many ran.
int RunQueued();
// Window's thread: waits until done() holds or the time-out passes, running queued
// steps meanwhile (wakes whenever one is queued and at least every second).
bool WaitPumping(const std::function<bool()>& done, std::chrono::milliseconds timeout);
// Wakes WaitPumping so that it tests its condition again.
void NotifyWaiters();
void CloseGate(const std::shared_ptr<TSyncGate>& gate);
bool IsClosed(const std::shared_ptr<TSyncGate>& gate);

}  // namespace IdSync
