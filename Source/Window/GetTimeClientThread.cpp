#include "GetTimeClientThread.h"

#include <cmath>

#include "Core/IdThreadStart.h"
#include "Form1.h"
#include "NistServers.h"
#include "System/IdException.h"

std::atomic<int> TGetTimeClientThread::FRunning{0};
std::function<void()> TGetTimeClientThread::BeforeQueryHook;
std::function<void()> TGetTimeClientThread::BeforeStoreHook;
std::function<void()> TGetTimeClientThread::BeforeReportHook;

void TQueryLink::Detach() {
  {
    std::lock_guard guard(Lock);
    Form = nullptr;
  }
  Detached.notify_all();
  IdSync::CloseGate(Gate);
  SNTP->Shutdown();
  TimeUDP->Shutdown();
}

void TQueryLink::Synchronize(const std::function<void(TForm1&)>& f) {
  // On the window's thread Form can only change under our feet by this very thread.
  IdSync::RunSynchronized(
      [&] {
        if (Form == nullptr) throw ESyncCancelled();
        f(*Form);
      },
      Gate);
}

void TQueryLink::Sleep(std::chrono::milliseconds duration) {
  std::unique_lock lock(Lock);
  if (Detached.wait_for(lock, duration, [this] { return Form == nullptr; })) throw ESyncCancelled();
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
      Query();
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

void TGetTimeClientThread::Query() {
  // The choice is read in the same step that makes it.
  FLink->Synchronize([this](TForm1& form) {
    form.ChooseServer();
    FChoice = {form.Server(), form.FServerType, form.FUseNistList, form.ClockGeneration()};
  });
  if (BeforeQueryHook) BeforeQueryHook();
  TDateTime serverTime = 0;
  if (FChoice.ServerType != 0) {
    FLink->TimeUDP->SetHost(FChoice.Server);
    serverTime = FLink->TimeUDP->QueryTime();
  } else {
    serverTime = QueryWithNistFallback();
  }
  if (serverTime == 0 || std::isnan(serverTime)) {
    FLink->Synchronize([&](TForm1& form) { form.FServerTime = serverTime; });
    throw Exception("invalid time error");
  }
  const TQueryResult result{FChoice.Generation, serverTime, ClockOffsetSeconds(Now(), serverTime)};
  if (BeforeStoreHook) BeforeStoreHook();
  FLink->Synchronize([&](TForm1& form) { form.QueryFinished(result); });
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
      FLink->Synchronize([&](TForm1& form) {
        form.SetServer(entry);
        form.ShowCurrentServer();
      });
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
    FLink->Synchronize([&](TForm1& form) { form.TeSEdit1.SetText(message); });
    FLink->Sleep(std::chrono::milliseconds(2000));  // FQueryBusy stays set, so no query starts meanwhile
  } catch (const ESyncCancelled&) {
    throw;
  } catch (...) {
    // The message could not be shown (the memory ran out, say): the query still ends, as failed.
  }
  EndFailedQuery();
}

void TGetTimeClientThread::EndFailedQuery() {
  FLink->Synchronize([](TForm1& form) {
    form.FQueryFailed = true;
    form.FQueryBusy.store(false, std::memory_order_release);
    form.TeSEdit1.SetFontColor(255);
    form.TeSEdit1.SetText("Unknown");
    form.TeSEdit3.SetText("Unknown");
  });
}
