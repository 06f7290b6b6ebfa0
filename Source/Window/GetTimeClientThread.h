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

class TForm1;

// What a query worker shares with the window. The worker co-owns it, so a worker
// that outlives the window finds Form null instead of freed memory.
struct TQueryLink {
  std::mutex Lock;
  std::condition_variable Detached;
  TForm1* Form = nullptr;  // written on the window's thread under Lock
  std::shared_ptr<TSyncGate> Gate = std::make_shared<TSyncGate>();
  std::shared_ptr<TIdSNTP> SNTP;
  std::shared_ptr<TIdTimeUDP> TimeUDP;

  // Window's thread, as the window goes away.
  void Detach();
  // Worker: has the window's thread run f; raises ESyncCancelled once detached.
  void Synchronize(const std::function<void(TForm1&)>& f);
  // Worker: sleeps, ending early (with ESyncCancelled) when the window goes away.
  void Sleep(std::chrono::milliseconds duration);
};

// The server, protocol and mode that ChooseServer picked for one query.
struct TServerChoice {
  std::string Server;
  std::int32_t ServerType = 0;
  bool UseNistList = false;
  std::uint64_t Generation = 0;  // the window's clock generation when the query began
};

// What a successful query hands back to the window.
struct TQueryResult {
  std::uint64_t Generation = 0;
  TDateTime ServerTime = 0;
  std::int64_t ClockOffset = 0;
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
  void Query();
  TDateTime QueryWithNistFallback();
  void ReportFailure(const std::string& message);
  void EndFailedQuery();

  std::shared_ptr<TQueryLink> FLink;
  TServerChoice FChoice;
  static std::atomic<int> FRunning;
};
