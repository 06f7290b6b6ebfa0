#include <algorithm>

#include "Form1.h"
#include "GetTimeClientThread.h"
#include "NistServers.h"
#include "StrToInt.h"
#include "System/IdException.h"

namespace {

// Drops leading and trailing characters of code 32 and below.
std::string TrimControlChars(const std::string& text) {
  const auto keep = [](char c) { return static_cast<unsigned char>(c) > 32; };
  const auto first = std::find_if(text.begin(), text.end(), keep);
  const auto last = std::find_if(text.rbegin(), text.rend(), keep).base();
  return first < last ? std::string(first, last) : std::string();
}

// Timers count in a signed 32-bit number of milliseconds on both platforms.
constexpr std::int64_t MaxSyncMinutes = 0x7FFFFFFF / 60000;

}  // namespace

void TForm1::FormCreate() {
  SetServer(DefaultServer);
  FServerType = 0;
  IdSNTP1->SetHost(Server());
  IdSNTP1->ReceiveTimeout = 10000;
  IdTimeUDP1->SetHost(Server());
  IdTimeUDP1->ReceiveTimeout = 10000;
  FQueryBusy = false;
  FSettingClock = false;
  // The worker's first step runs on this thread, so only once start-up is over:
  // it sees the settings loaded below.
  StartQuery();
  if (!FOptions.Settings.Load.empty()) FIni = std::make_unique<TIniFile>(FOptions.Settings.Load);
  LoadSettings();
  if (FOptions.Settings.Save != FOptions.Settings.Load)
    FIni = FOptions.Settings.Save.empty() ? nullptr : std::make_unique<TIniFile>(FOptions.Settings.Save);
  FSyncOnStartPending = ckSyncOnStart.Checked();
  ckNistServerClick();
  ckCustomServerClick();
  ckSyncTimeClick();
  ckRunTimeServerClick();
}

void TForm1::FormDestroy() {
  SaveSettings();
  if (FIni) FIni->Flush();
  FIni.reset();
}

void TForm1::StartQuery() {
  if (FQueryBusy.load(std::memory_order_acquire)) return;
  FQueryBusy = true;
  try {
    TGetTimeClientThread::Start(FQueryLink);
  } catch (const std::exception& error) {
    // Reported like a failed query, in the Server Time box: the tick tries again
    // as after any failure, and no box piles up on another.
    ReportStartFailure(error.what());
  }
}

void TForm1::ReportStartFailure(const std::string& message) {
  TeSEdit1.SetFontColor(255);
  TeSEdit1.SetText(message);
  TeSEdit3.SetText("Unknown");
  FQueryFailed = true;
  FQueryBusy.store(false, std::memory_order_release);
}

void TForm1::ChooseServer() {
  TeSEdit1.SetText("Connecting time sever...");
  if (ckCustomServer.Checked()) {
    const std::string address = TrimControlChars(edtServer.Text());
    if (!address.empty()) {
      SetServer(address);
      FUseNistList = false;
      FServerType = cbSeverType.ItemIndex();
    }
  }
  if (ckNistServer.Checked()) {
    SetServer(DefaultServer);
    FUseNistList = true;
    FServerType = 0;
  }
  ShowCurrentServer();
}

void TForm1::ShowCurrentServer() { labCurServer.SetText("Current Server: " + Server()); }

void TForm1::QueryFinished(const TQueryResult& result) {
  if (result.Generation != FClockGeneration) {
    // Measured against the clock as it was before the program set it: applying it
    // would move the clock a second time. The query counts as not done.
    FQueryBusy.store(false, std::memory_order_release);
    StartQuery();
    return;
  }
  FServerTime = result.ServerTime;
  FClockOffset = result.ClockOffset;
  FQueryFailed = false;
  FQueryBusy.store(false, std::memory_order_release);
}

void TForm1::TeButton2Click() { StartQuery(); }

void TForm1::cbSeverTypeChange() {
  FServerType = cbSeverType.ItemIndex();
  StartQuery();
}

void TForm1::ckNistServerClick() {
  if (!ckNistServer.Checked()) return;
  edtServer.SetEnabled(false);
  cbSeverType.SetEnabled(false);
  StartQuery();
}

void TForm1::ckCustomServerClick() {
  if (!ckCustomServer.Checked()) return;
  edtServer.SetEnabled(true);
  cbSeverType.SetEnabled(true);
  StartQuery();
}

void TForm1::ckSyncTimeClick() {
  const std::string text = edtSyncTime.Text();
  std::int32_t minutes = 0;
  if (!TryStrToInt(text, minutes)) throw Exception("'" + text + "' is not a valid integer value");
  // A count below one minute gives the minimum, one beyond the timers' range their
  // largest whole-minute period; the interval never wraps.
  const std::int64_t clamped = std::clamp<std::int64_t>(minutes, 1, MaxSyncMinutes);
  SyncTimer.SetInterval(static_cast<std::uint32_t>(clamped * 60000));
  SyncTimer.SetEnabled(ckSyncTime.Checked());
}

void TForm1::ckRunTimeServerClick() {
  try {
    IdTimeUDPServer1->SetActive(ckRunTimeServer.Checked());
  } catch (const std::exception&) {
    // Switching the server reports nothing: without the port the box stays ticked and the server off.
  }
}
