// SPDX-License-Identifier: MIT
#include "Sync/GetTimeClientThread.h"

#include <cmath>

#include "Core/IdThreadStart.h"
#include "Sync/NistServers.h"
#include "System/IdException.h"

std::atomic<int> TGetTimeClientThread::FRunning{0};
std::function<void()> TGetTimeClientThread::BeforeQueryHook;
std::function<void()> TGetTimeClientThread::BeforeStoreHook;
std::function<void()> TGetTimeClientThread::BeforeReportHook;

void TQueryLink::Detach() {
  {
    std::lock_guard guard(Lock);
    Window = nullptr;
  }
  Detached.notify_all();
  IdSync::CloseGate(Gate);
  SNTP->Shutdown();
  TimeUDP->Shutdown();
}

void TQueryLink::Synchronize(const std::function<void(IQueryWindow&)>& f) {
  // On the window's thread Window can only change under our feet by this very thread.
  IdSync::RunSynchronized(
      [&] {
        if (Window == nullptr) throw ESyncCancelled();
        f(*Window);
      },
      Gate);
}

void TQueryLink::Sleep(std::chrono::milliseconds duration) {
  std::unique_lock lock(Lock);
  if (Detached.wait_for(lock, duration, [this] { return Window == nullptr; })) throw ESyncCancelled();
}

void TGetTimeClientThread::Start(std::shared_ptr<TQueryLink> link) {
  auto* worker = new TGetTimeClientThread(std::move(link));
  ++FRunning;
  try {
    IdThreadStart::Start([worker] {
      worker->Execute();
      delete worker;
      --FRunning;
    }).detach();
  } catch (...) {
    delete worker;
    --FRunning;
    throw;
  }
}

int TGetTimeClientThread::RunningCount() { return FRunning.load(); }

void TGetTimeClientThread::Execute() {
  try {
    try {
      const TQueryOutcome outcome = Query();
      FLink->Synchronize([&](IQueryWindow& window) { window.QueryFinished(outcome); });
    } catch (const ESyncCancelled&) {
      throw;
    } catch (const std::exception& error) {
      // Any failure is a failed query, whatever its kind: nothing may escape a thread.
      ReportFailure(error.what());
    } catch (...) {
      ReportFailure("unknown error");
    }
  } catch (const ESyncCancelled&) {
    // The window is gone: nothing of it may be touched any more.
  } catch (...) {
    // Even the end of the report failed: one more try, or no query would ever start again.
    try {
      EndFailedQuery();
    } catch (...) {
    }
  }
}

TQueryOutcome TGetTimeClientThread::Query() {
  // The choice is handed back by the very step that makes it.
  FLink->Synchronize([this](IQueryWindow& window) { FChoice = window.ChooseServer(); });
  if (BeforeQueryHook) BeforeQueryHook();
  if (FChoice.ServerType != 0) {
    FLink->TimeUDP->SetHost(FChoice.Server);
    FServerTime = FLink->TimeUDP->QueryTime();
  } else {
    FServerTime = QueryWithNistFallback();
  }
  if (FServerTime == 0 || std::isnan(FServerTime)) throw Exception("invalid time error");
  const TQueryOutcome outcome{FChoice.Generation, false, FServerTime, ClockOffsetSeconds(Now(), FServerTime)};
  if (BeforeStoreHook) BeforeStoreHook();
  return outcome;
}

TDateTime TGetTimeClientThread::QueryWithNistFallback() {
  TIdSNTP& client = *FLink->SNTP;
  client.SetHost(FChoice.Server);
  try {
    return client.QueryTime();
  } catch (const Exception&) {
    if (!FChoice.UseNistList) throw;
  }
  // Each entry is compared with the server asked just before it.
  std::string server = FChoice.Server;
  for (const char* entry : NistServers) {
    if (server == entry) continue;
    client.SetHost(entry);
    try {
      server = entry;
      FLink->Synchronize([&](IQueryWindow& window) { window.FallbackServerAsked(entry); });
      return client.QueryTime();
    } catch (const ESyncCancelled&) {
      throw;
    } catch (...) {
    }
  }
  throw Exception("no good nisd server");
}

void TGetTimeClientThread::ReportFailure(const std::string& message) {
  try {
    if (BeforeReportHook) BeforeReportHook();
    FLink->Synchronize([&](IQueryWindow& window) { window.ShowQueryFailure(message); });
    FLink->Sleep(std::chrono::milliseconds(2000));  // the query stays busy, so none starts meanwhile
  } catch (const ESyncCancelled&) {
    throw;
  } catch (...) {
    // The message could not be shown (the memory ran out, say): the query still ends, as failed.
  }
  EndFailedQuery();
}

void TGetTimeClientThread::EndFailedQuery() {
  const TQueryOutcome outcome{FChoice.Generation, true, FServerTime, 0};
  FLink->Synchronize([&](IQueryWindow& window) { window.QueryFinished(outcome); });
}
