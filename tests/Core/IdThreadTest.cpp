// SPDX-License-Identifier: MIT
#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "Core/IdThread.h"
#include "Core/IdThreadStart.h"
#include "System/IdException.h"

namespace {

using namespace std::chrono_literals;

TEST(IdThreadStartTest, ARefusedStartRaisesWithTheReasonAndNeverRunsTheBody) {
  std::atomic<int> runs{0};
  {
    IdThreadStart::TScopedRefusal refusal;
    try {
      IdThreadStart::Start([&] { ++runs; });
      FAIL() << "the start was not refused";
    } catch (const Exception& error) {
      const std::string message = error.what();
      EXPECT_EQ(message.rfind("Cannot start a thread: ", 0), 0u) << message;
      EXPECT_GT(message.size(), std::string("Cannot start a thread: ").size()) << "the system's reason is missing";
    }
  }
  std::thread started = IdThreadStart::Start([&] { ++runs; });
  started.join();
  EXPECT_EQ(runs.load(), 1);
}

// A listener-like thread: created suspended, passes until stopped. The hook holds
// it between its last look at the flags and its suspended wait.
class GapThread : public TIdThread {
public:
  GapThread() : TIdThread(true, true, "gap") { StartThread(); }
  ~GapThread() override { EndThread(); }

  using TIdThread::IsSuspended;
  std::promise<void> InGap;
  std::promise<void> Go;

protected:
  void RunPass() override { std::this_thread::yield(); }
  void BeforeSuspend() override {
    if (FHeld) return;
    FHeld = true;
    InGap.set_value();
    Go.get_future().wait();
  }

private:
  bool FHeld = false;
};

// Waits for the thread's end from another thread, so that a thread that never
// ends fails the test instead of hanging it.
bool EndsSoon(TIdThread& thread) {
  auto ended = std::async(std::launch::async, [&] { thread.WaitForEnd(); });
  if (ended.wait_for(5s) == std::future_status::ready) return true;
  thread.RequestStart();  // resumes it, so that the test can finish
  ended.wait();
  return false;
}

TEST(IdThreadTest, AThreadStartedAndStoppedJustBeforeItSuspendsStillEnds) {
  GapThread thread;
  ASSERT_EQ(thread.InGap.get_future().wait_for(5s), std::future_status::ready);
  thread.RequestStart();
  thread.RequestStop();
  thread.Go.set_value();
  EXPECT_TRUE(EndsSoon(thread)) << "the stopped thread suspended itself for good";
}

// Terminating lands either in the gap before the suspension, which the thread
// must see as it tests its flags under the lock, or in the suspension itself,
// which terminating must end. Each case is held at its moment, every run.
TEST(IdThreadTest, TerminatingASuspendedThreadWakesItToEnd) {
  for (const bool inTheGap : {true, false}) {
    SCOPED_TRACE(inTheGap ? "terminated in the gap" : "terminated while suspended");
    GapThread thread;
    ASSERT_EQ(thread.InGap.get_future().wait_for(5s), std::future_status::ready);
    if (inTheGap) thread.RequestTerminate();
    thread.Go.set_value();
    if (!inTheGap) {
      const auto deadline = std::chrono::steady_clock::now() + 5s;
      while (!thread.IsSuspended() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
      ASSERT_TRUE(thread.IsSuspended());
      thread.RequestTerminate();
    }
    EXPECT_TRUE(EndsSoon(thread)) << "the terminated thread stayed suspended";
  }
}

// A pass that fails ends the thread, with FinishRun run, and nothing else.
class FailingThread : public TIdThread {
public:
  FailingThread() : TIdThread(true, true, "failing") { StartThread(); }
  ~FailingThread() override { EndThread(); }

  std::atomic<int> Passes{0};
  std::atomic<bool> Finished{false};

protected:
  void RunPass() override {
    ++Passes;
    throw std::runtime_error("the wait failed");
  }
  void FinishRun() override { Finished = true; }
};

TEST(IdThreadTest, AFailedPassEndsTheThreadAfterFinishingTheRun) {
  FailingThread thread;
  thread.RequestStart();
  EXPECT_TRUE(EndsSoon(thread));
  EXPECT_TRUE(thread.Terminated());
  EXPECT_TRUE(thread.Finished);
  EXPECT_EQ(thread.Passes.load(), 1);
}

}  // namespace
