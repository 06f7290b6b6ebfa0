// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "Protocols/IdSNTP.h"
#include "Protocols/IdTimeUDP.h"
#include "Sync/GetTimeClientThread.h"
#include "System/IdException.h"

// The system refused to set the clock.
class EClockNotSet : public Exception {
public:
  using Exception::Exception;
};

// The user's choice of server as the window shows it when a query begins.
struct TServerRequest {
  bool NistList = false;      // "NIST Atomic Time Servers" is checked
  bool Custom = false;        // "Custom Time Server" is checked
  std::string Address;        // the address box as typed
  std::int32_t Protocol = 0;  // the protocol list's selected index: 0 SNTP, 1 Time
};

// What the synchronizer reads and writes of the window, always on the window's thread.
class ISyncWindow {
public:
  // The user's choice, read afresh as each query begins.
  virtual TServerRequest ServerRequest() = 0;
  // The Server Time box while a query runs: its progress, then a failure's message.
  virtual void ShowQueryText(const std::string& text) = 0;
  // The server being asked.
  virtual void ShowCurrentServer(const std::string& server) = 0;
  // The query ended failed: the Server Time box shows the text in red, the difference is unknown.
  virtual void ShowQueryFailed(const std::string& serverTimeText) = 0;

protected:
  ~ISyncWindow() = default;
};

// The synchronization controller: which server to ask and how, one query worker
// at a time, the clock offset it measured, setting the clock from it, and what
// the status shows. Its state belongs to the window's thread; the worker reaches
// it only through the door (IQueryWindow), whose steps run on that thread.
class TSynchronizer final : public IQueryWindow {
public:
  // The default NIST server by SNTP until the settings say otherwise.
  TSynchronizer(ISyncWindow& window, std::string executablePath);
  // A worker still running finds the synchronizer gone and ends without touching it.
  ~TSynchronizer();
  TSynchronizer(const TSynchronizer&) = delete;
  TSynchronizer& operator=(const TSynchronizer&) = delete;

  // Starts one query worker unless one runs; a request meanwhile is dropped.
  void StartQuery();
  // Sets the clock back by the offset and clears the offset; nothing after a
  // failed query. Raises EClockNotSet when the system refuses, keeping the offset.
  void AdjustClock();
  // The system's notice that the clock was changed: unless it follows our own
  // set, another program moved the clock and the offset is measured anew.
  void ClockChanged();
  // A status tick. While a query runs, and after a failed one (which it starts
  // again), there is nothing to show. Otherwise it sets the clock if that is
  // pending since start-up, and gives the offset to show.
  std::optional<std::int64_t> StatusTick();
  // Whether a refusal to set the clock is to be shown: always when the user
  // asked, else only when it differs from the last one shown since a set
  // succeeded, so that a period without the right does not bring the same box
  // back each time.
  bool RefusalIsNews(const std::string& message, bool userAsked);

  // What the settings keep: the server asked last, its protocol (0 SNTP, any
  // other the Time protocol) and whether the NIST list is in use.
  const std::string& Server() const { return FServer; }
  void SetServer(const std::string& server) { FServer = server; }
  std::int32_t ServerType() const { return FServerType; }
  void SetServerType(std::int32_t serverType) { FServerType = serverType; }
  bool UseNistList() const { return FUseNistList; }
  void SetUseNistList(bool useNistList) { FUseNistList = useNistList; }
  // Sets the clock at the first tick after a successful query.
  void SetSyncOnStart(bool pending) { FSyncOnStartPending = pending; }

  // The door: the query worker's steps.
  TServerChoice ChooseServer() override;
  void FallbackServerAsked(const std::string& server) override;
  void ShowQueryFailure(const std::string& message) override;
  void QueryFinished(const TQueryOutcome& outcome) override;

private:
  void EndFailedQuery(const std::string& serverTimeText);

  ISyncWindow& FWindow;
  std::string FExecutablePath;  // named in the advice of a refusal
  // The clients are shared with a running query worker, which may outlive us by
  // the time its blocked call takes to fail.
  std::shared_ptr<TIdSNTP> IdSNTP1;
  std::shared_ptr<TIdTimeUDP> IdTimeUDP1;
  std::shared_ptr<TQueryLink> FQueryLink;

  TDateTime FServerTime = 0;
  std::int64_t FClockOffset = 0;  // seconds, local clock minus server: positive, the clock is ahead
  bool FSettingClock = false;     // our own set is followed by a notice that starts no query
  bool FQueryBusy = false;
  bool FQueryFailed = false;
  std::string FServer;
  bool FUseNistList = false;
  std::int32_t FServerType = 0;
  bool FSyncOnStartPending = false;
  // How often the clock was set, by us or another: a measurement across a set is stale.
  std::uint64_t FClockGeneration = 0;
  std::string FLastClockRefusal;  // shown once until a set succeeds or the user asks
};

// The Difference box's text for an offset.
std::string DifferenceText(std::int64_t offset);
