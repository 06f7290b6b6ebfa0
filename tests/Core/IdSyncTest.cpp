// SPDX-License-Identifier: MIT
#include <atomic>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "Core/IdSync.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class IdSyncTest : public testing::Test {
protected:
  void SetUp() override { IdSync::SetMainThread(); }
  void TearDown() override { IdSync::SetWakeHook(nullptr); }
};

TEST_F(IdSyncTest, OnTheMainThreadAStepRunsDirectly) {
  EXPECT_TRUE(IdSync::IsMainThread());
  bool ran = false;
  IdSync::RunSynchronized([&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_THROW(IdSync::RunSynchronized([] { throw std::runtime_error("direct"); }), std::runtime_error);
  EXPECT_EQ(IdSync::RunQueued(), 0);
}

TEST_F(IdSyncTest, WorkerStepsRunOnTheMainThreadWhileItWaitsAndFailuresComeBack) {
  std::atomic<int> wakes{0};
  IdSync::SetWakeHook([&] { ++wakes; });
  std::thread::id ranOn;
  std::string failure;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    EXPECT_FALSE(IdSync::IsMainThread());
    IdSync::RunSynchronized([&] { ranOn = std::this_thread::get_id(); });
    try {
      IdSync::RunSynchronized([] { throw std::runtime_error("from the step"); });
    } catch (const std::runtime_error& error) {
      failure = error.what();
    }
    done = true;
    IdSync::NotifyWaiters();
  });
  const auto start = Clock::now();
  // WaitPumping wakes at least every second by itself; both steps and the end must come sooner.
  EXPECT_TRUE(IdSync::WaitPumping([&] { return done.load(); }, 5s));
  EXPECT_LT(Clock::now() - start, 900ms);
  worker.join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(failure, "from the step");
  EXPECT_EQ(wakes.load(), 2);
}

TEST_F(IdSyncTest, WaitPumpingGivesUpAfterItsTimeout) {
  const auto start = Clock::now();
  EXPECT_FALSE(IdSync::WaitPumping([] { return false; }, 100ms));
  const auto elapsed = Clock::now() - start;
  EXPECT_GE(elapsed, 95ms);
  EXPECT_LT(elapsed, 900ms);
}

TEST_F(IdSyncTest, ClosingAGateFailsItsPendingAndLaterSteps) {
  auto gate = std::make_shared<TSyncGate>();
  std::promise<void> queued;
  IdSync::SetWakeHook([&] { queued.set_value(); });
  std::atomic<bool> ran{false};
  auto pending = std::async(std::launch::async, [&]() -> std::string {
    try {
      IdSync::RunSynchronized([&] { ran = true; }, gate);
      return "ran";
    } catch (const ESyncCancelled&) {
      return "cancelled";
    }
  });
  ASSERT_EQ(queued.get_future().wait_for(5s), std::future_status::ready);
  IdSync::SetWakeHook(nullptr);
  IdSync::CloseGate(gate);
  const bool ended = pending.wait_for(5s) == std::future_status::ready;
  if (!ended) IdSync::RunQueued();  // so that the worker can be joined
  EXPECT_TRUE(ended);
  EXPECT_EQ(pending.get(), "cancelled");
  EXPECT_EQ(IdSync::RunQueued(), 0);
  EXPECT_FALSE(ran);
  EXPECT_TRUE(IdSync::IsClosed(gate));

  // Later steps of that owner fail at once, on any thread; other owners are unaffected.
  auto later = std::async(std::launch::async, [&] {
    try {
      IdSync::RunSynchronized([&] { ran = true; }, gate);
    } catch (const ESyncCancelled&) {
      return true;
    }
    return false;
  });
  const bool refused = later.wait_for(5s) == std::future_status::ready;
  if (!refused) IdSync::RunQueued();
  EXPECT_TRUE(refused);
  EXPECT_TRUE(later.get());
  EXPECT_THROW(IdSync::RunSynchronized([&] { ran = true; }, gate), ESyncCancelled);
  EXPECT_FALSE(ran);
  bool otherRan = false;
  IdSync::RunSynchronized([&] { otherRan = true; }, std::make_shared<TSyncGate>());
  EXPECT_TRUE(otherRan);
}

}  // namespace
