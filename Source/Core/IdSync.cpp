// SPDX-License-Identifier: MIT
#include "Core/IdSync.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

struct TStep {
  const std::function<void()>* Step;
  std::shared_ptr<TSyncGate> Gate;
  bool Done = false;
  std::exception_ptr Error;
};

}  // namespace

struct TSyncQueue {
  std::mutex Lock;
  std::condition_variable Changed;  // a step was queued or finished, or a waiter must look again
  std::deque<TStep*> Pending;
  std::function<void()> WakeHook;
  std::thread::id MainThread;

  unsigned Generation = 0;  // bumped by NotifyWaiters

  static TSyncQueue& Get() {
    static auto* queue = new TSyncQueue;  // never destroyed: a late worker may still queue
    return *queue;
  }
};

namespace IdSync {

void SetMainThread() {
  auto& queue = TSyncQueue::Get();
  std::lock_guard guard(queue.Lock);
  queue.MainThread = std::this_thread::get_id();
}

bool IsMainThread() {
  auto& queue = TSyncQueue::Get();
  std::lock_guard guard(queue.Lock);
  return queue.MainThread == std::this_thread::get_id();
}

void SetWakeHook(std::function<void()> hook) {
  auto& queue = TSyncQueue::Get();
  std::lock_guard guard(queue.Lock);
  queue.WakeHook = std::move(hook);
}

void RunSynchronized(const std::function<void()>& step, const std::shared_ptr<TSyncGate>& gate) {
  auto& queue = TSyncQueue::Get();
  if (IsMainThread()) {
    if (IsClosed(gate)) throw ESyncCancelled();
    step();
    return;
  }
  TStep item{&step, gate, false, nullptr};
  std::function<void()> wake;
  {
    std::unique_lock lock(queue.Lock);
    if (gate && gate->Closed) throw ESyncCancelled();
    queue.Pending.push_back(&item);
    wake = queue.WakeHook;
  }
  queue.Changed.notify_all();
  if (wake) wake();
  std::unique_lock lock(queue.Lock);
  queue.Changed.wait(lock, [&] { return item.Done; });
  if (item.Error) std::rethrow_exception(item.Error);
}

int RunQueued() {
  auto& queue = TSyncQueue::Get();
  // Only the steps queued before this call: a flood of new ones must not hold the
  // window's thread here; each of them wakes it again.
  std::size_t budget = 0;
  {
    std::lock_guard guard(queue.Lock);
    budget = queue.Pending.size();
  }
  int count = 0;
  for (; budget > 0; --budget) {
    TStep* item = nullptr;
    {
      std::lock_guard guard(queue.Lock);
      if (queue.Pending.empty()) break;
      item = queue.Pending.front();
      queue.Pending.pop_front();
    }
    std::exception_ptr error;
    try {
      (*item->Step)();
    } catch (...) {
      error = std::current_exception();
    }
    {
      std::lock_guard guard(queue.Lock);
      item->Error = std::move(error);  // freed by the caller alone: TSan cannot see libstdc++'s refcount
      item->Done = true;
    }
    queue.Changed.notify_all();
    ++count;
  }
  return count;
}

bool WaitPumping(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  auto& queue = TSyncQueue::Get();
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    RunQueued();
    if (done()) return true;
    std::unique_lock lock(queue.Lock);
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    const auto slice = std::min<std::chrono::steady_clock::duration>(deadline - now, std::chrono::seconds(1));
    const unsigned generation = queue.Generation;
    queue.Changed.wait_for(lock, slice, [&] { return !queue.Pending.empty() || queue.Generation != generation; });
  }
}

void NotifyWaiters() {
  auto& queue = TSyncQueue::Get();
  {
    std::lock_guard guard(queue.Lock);
    ++queue.Generation;
  }
  queue.Changed.notify_all();
}

bool IsClosed(const std::shared_ptr<TSyncGate>& gate) {
  if (!gate) return false;
  std::lock_guard guard(TSyncQueue::Get().Lock);
  return gate->Closed;
}

void CloseGate(const std::shared_ptr<TSyncGate>& gate) {
  auto& queue = TSyncQueue::Get();
  {
    std::lock_guard guard(queue.Lock);
    gate->Closed = true;
    for (auto it = queue.Pending.begin(); it != queue.Pending.end();) {
      if ((*it)->Gate == gate) {
        (*it)->Error = std::make_exception_ptr(ESyncCancelled());
        (*it)->Done = true;
        it = queue.Pending.erase(it);
      } else {
        ++it;
      }
    }
  }
  queue.Changed.notify_all();
}

}  // namespace IdSync
