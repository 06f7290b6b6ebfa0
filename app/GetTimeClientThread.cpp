#include "GetTimeClientThread.h"

#include <QLineEdit>
#include <cmath>
#include <thread>

#include "Form1.h"
#include "NistServers.h"
#include "System/IdException.h"

std::atomic<int> TGetTimeClientThread::FRunning{0};

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

void TQueryLink::WithForm(const std::function<void(TForm1&)>& f) {
  std::lock_guard guard(Lock);
  if (Form == nullptr) throw ESyncCancelled();
  f(*Form);
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
    std::thread([worker] {
      worker->Execute();
      delete worker;
      --FRunning;
    }).detach();
  } catch (const std::system_error& error) {
    delete worker;
    --FRunning;
    throw Exception(std::string("Cannot start the query: ") + error.what());
  }
}

int TGetTimeClientThread::RunningCount() { return FRunning.load(); }

void TGetTimeClientThread::Execute() {
  try {
    try {
      FLink->Synchronize([](TForm1& form) { form.ChooseServer(); });
      std::int32_t serverType = 0;
      std::string server;
      FLink->WithForm([&](TForm1& form) {
        serverType = form.FServerType;
        server = form.Server();
      });
      TDateTime serverTime = 0;
      if (serverType != 0) {
        FLink->TimeUDP->SetHost(server);
        serverTime = FLink->TimeUDP->QueryTime();
      } else {
        serverTime = QueryWithNistFallback();
      }
      FLink->WithForm([&](TForm1& form) { form.FServerTime = serverTime; });
      if (serverTime == 0 || std::isnan(serverTime)) throw Exception("invalid time error");
      const std::int64_t offset = ClockOffsetSeconds(Now(), serverTime);
      FLink->WithForm([&](TForm1& form) {
        form.FClockOffset = offset;
        form.FQueryFailed = false;
      });
    } catch (const Exception& error) {
      ReportFailure(error.Message());
    }
    FLink->WithForm([](TForm1& form) { form.FQueryBusy.store(false, std::memory_order_release); });
  } catch (const ESyncCancelled&) {
    // The window is gone: nothing of it may be touched any more.
  }
}

TDateTime TGetTimeClientThread::QueryWithNistFallback() {
  TIdSNTP& client = *FLink->SNTP;
  std::string server;
  FLink->WithForm([&](TForm1& form) { server = form.Server(); });
  client.SetHost(server);
  try {
    return client.QueryTime();
  } catch (const Exception&) {
    bool useNist = false;
    FLink->WithForm([&](TForm1& form) { useNist = form.FUseNistList; });
    if (!useNist) throw;
  }
  // Each entry is compared with the server asked just before it.
  for (const char* entry : NistServers) {
    FLink->WithForm([&](TForm1& form) { server = form.Server(); });
    if (server == entry) continue;
    client.SetHost(entry);
    try {
      FLink->WithForm([&](TForm1& form) { form.SetServer(entry); });
      FLink->Synchronize([](TForm1& form) { form.ShowCurrentServer(); });
      return client.QueryTime();
    } catch (const ESyncCancelled&) {
      throw;
    } catch (...) {
    }
  }
  throw Exception("no good nisd server");
}

void TGetTimeClientThread::ReportFailure(const std::string& message) {
  FLink->Synchronize([&](TForm1& form) { form.TeSEdit1->setText(QString::fromLatin1(message.data(), static_cast<qsizetype>(message.size()))); });
  FLink->Sleep(std::chrono::milliseconds(2000));  // FQueryBusy stays set, so no query starts meanwhile
  FLink->Synchronize([](TForm1& form) {
    TForm1::SetFontColor(form.TeSEdit1, 255);
    form.TeSEdit1->setText(QStringLiteral("Unknown"));
    form.TeSEdit3->setText(QStringLiteral("Unknown"));
  });
  FLink->WithForm([](TForm1& form) { form.FQueryFailed = true; });
}
