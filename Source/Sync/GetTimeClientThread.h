// SPDX-License-Identifier: MIT
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "Core/IdSync.h"
#include "Protocols/IdSNTP.h"
#include "Protocols/IdTimeUDP.h"

// The server, protocol and mode that ChooseServer picked for one query.
struct TServerChoice {
  std::string Server;
  std::int32_t ServerType = 0;
  bool UseNistList = false;
  std::uint64_t Generation = 0;  // the synchronizer's clock generation when the query began
};

// What a query hands back in its last step.
struct TQueryOutcome {
  std::uint64_t Generation = 0;  // as chosen: a change of the clock since makes a result stale
  bool Failed = false;
  TDateTime ServerTime = 0;  // the exchange's answer; 0 when none came or it raised
  std::int64_t ClockOffset = 0;
};

// The one door between a query and the synchronizer (Sync/Synchronizer.h). The
// worker hands each step over to the window's thread, which runs it there; the
// worker itself never sees the synchronizer's state or the window's controls.
class IQueryWindow {
public:
  // First step: shows the query under way and returns the choice.
  virtual TServerChoice ChooseServer() = 0;
  // The NIST fallback asks server now.
  virtual void FallbackServerAsked(const std::string& server) = 0;
  // A failure's text, shown while the worker waits before its last step.
  virtual void ShowQueryFailure(const std::string& message) = 0;
  // Last step, a failure's included: applies the outcome and ends the query.
  virtual void QueryFinished(const TQueryOutcome& outcome) = 0;

protected:
  ~IQueryWindow() = default;
};

// What a query worker shares with the synchronizer. The worker co-owns it, so a
// worker that outlives the window finds Window null instead of freed memory.
struct TQueryLink {
  std::mutex Lock;
  std::condition_variable Detached;
  IQueryWindow* Window = nullptr;  // written on the window's thread under Lock
  std::shared_ptr<TSyncGate> Gate = std::make_shared<TSyncGate>();
  std::shared_ptr<TIdSNTP> SNTP;
  std::shared_ptr<TIdTimeUDP> TimeUDP;

  // Window's thread, as the window goes away.
  void Detach();
  // Worker: has the window's thread run f; raises ESyncCancelled once detached.
  void Synchronize(const std::function<void(IQueryWindow&)>& f);
  // Worker: sleeps, ending early (with ESyncCancelled) when the window goes away.
  void Sleep(std::chrono::milliseconds duration);
};

// One query on a thread of its own; frees itself when its run ends.
class TGetTimeClientThread {
public:
  static void Start(std::shared_ptr<TQueryLink> link);
  // Workers not yet ended, for tests that must see every worker gone.
  static int RunningCount();

  // Test hooks, run on the worker: before the exchange, between reading the
  // clock for the offset and handing the result to the window, and before a
  // failure's message is shown.
  static std::function<void()> BeforeQueryHook;
  static std::function<void()> BeforeStoreHook;
  static std::function<void()> BeforeReportHook;

private:
  explicit TGetTimeClientThread(std::shared_ptr<TQueryLink> link) : FLink(std::move(link)) {}
  void Execute();
  TQueryOutcome Query();
  TDateTime QueryWithNistFallback();
  void ReportFailure(const std::string& message);
  void EndFailedQuery();

  std::shared_ptr<TQueryLink> FLink;
  TServerChoice FChoice;
  TDateTime FServerTime = 0;  // the last exchange's answer, handed back failed or not
  static std::atomic<int> FRunning;
};
