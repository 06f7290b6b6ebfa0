// SPDX-License-Identifier: MIT
#pragma once
// The synchronizer without a window: a recording stand-in for what it reads and
// shows, a fake clock, and the test's thread as the window's thread. Shared by
// the portable and the Linux-only cases.
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Core/IdSync.h"
#include "Protocols/IdRequestPacer.h"
#include "Support/FakeClock.h"
#include "Support/TestHelpers.h"
#include "Sync/GetTimeClientThread.h"
#include "Sync/Synchronizer.h"

namespace KestrineTest {

using namespace std::chrono_literals;

class RecordingWindow : public ISyncWindow {
public:
  TServerRequest Request{false, true, "127.0.0.1", 0};  // a custom server on loopback, by SNTP
  std::vector<std::string> Shown;                       // what was shown where, in order

  TServerRequest ServerRequest() override { return Request; }
  void ShowQueryText(const std::string& text) override { Shown.push_back("query: " + text); }
  void ShowCurrentServer(const std::string& server) override { Shown.push_back("server: " + server); }
  void ShowQueryFailed(const std::string& text) override { Shown.push_back("failed: " + text); }
};

// Runs the window's-thread steps until done() holds; false on time-out.
inline bool Pump(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5s) {
  return PollUntil(
      [&] {
        IdSync::RunQueued();
        return done();
      },
      timeout, [] { IdSync::WaitPumping([] { return false; }, 1ms); });
}

// Pumps until no query worker runs: the last one's outcome has been handed over.
inline bool WorkersEnded() {
  return Pump([] { return TGetTimeClientThread::RunningCount() == 0; });
}

class SynchronizerTest : public ::testing::Test {
protected:
  void SetUp() override {
    IdSync::SetMainThread();
    TIdRequestPacer::Default().SetMinInterval(0ms);
  }
  void TearDown() override {
    Sync.reset();
    EXPECT_TRUE(WorkersEnded()) << "a query worker did not end after the synchronizer was destroyed";
    TIdRequestPacer::Default().SetMinInterval(4000ms);
  }

  // Starts a query and runs the window's thread until it has ended.
  void Measure() {
    Sync->StartQuery();
    ASSERT_TRUE(WorkersEnded());
  }

  FakeClock Clock;
  RecordingWindow Window;
  std::unique_ptr<TSynchronizer> Sync = std::make_unique<TSynchronizer>(Window, "/opt/kestrine/kestrine");
};

}  // namespace KestrineTest
