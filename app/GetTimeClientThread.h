#pragma once
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

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
  // Worker: runs f on the window's state under Lock; raises ESyncCancelled once detached.
  void WithForm(const std::function<void(TForm1&)>& f);
  // Worker: has the window's thread run f; raises ESyncCancelled once detached.
  void Synchronize(const std::function<void(TForm1&)>& f);
  // Worker: sleeps, ending early (with ESyncCancelled) when the window goes away.
  void Sleep(std::chrono::milliseconds duration);
};

// One query on a thread of its own; frees itself when its run ends.
class TGetTimeClientThread {
public:
  static void Start(std::shared_ptr<TQueryLink> link);
  // Workers not yet ended, for tests that must see every worker gone.
  static int RunningCount();

private:
  explicit TGetTimeClientThread(std::shared_ptr<TQueryLink> link) : FLink(std::move(link)) {}
  void Execute();
  TDateTime QueryWithNistFallback();
  void ReportFailure(const std::string& message);

  std::shared_ptr<TQueryLink> FLink;
  static std::atomic<int> FRunning;
};
