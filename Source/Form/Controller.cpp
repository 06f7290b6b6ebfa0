#include <algorithm>

#include "Form/Form1.h"
#include "Form/NistServers.h"
#include "Form/StrToInt.h"
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
  FServer = DefaultServer;
  FServerType = 0;
  IdSNTP1->SetHost(FServer);
  IdSNTP1->ReceiveTimeout = 10000;
  IdTimeUDP1->SetHost(FServer);
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
  if (FQueryBusy) return;
  FQueryBusy = true;
  try {
    TGetTimeClientThread::Start(FQueryLink);
  } catch (const std::exception& error) {
    // Reported like a failed query, in the Server Time box: the tick tries again
    // as after any failure, and no box piles up on another.
    EndFailedQuery(error.what());
  }
}

TServerChoice TForm1::ChooseServer() {
  TeSEdit1.SetText("Connecting time sever...");
  if (ckCustomServer.Checked()) {
    const std::string address = TrimControlChars(edtServer.Text());
    if (!address.empty()) {
      FServer = address;
      FUseNistList = false;
      FServerType = cbSeverType.ItemIndex();
    }
  }
  if (ckNistServer.Checked()) {
    FServer = DefaultServer;
    FUseNistList = true;
    FServerType = 0;
  }
  ShowCurrentServer();
  return {FServer, FServerType, FUseNistList, FClockGeneration};
}

void TForm1::ShowCurrentServer() { labCurServer.SetText("Current Server: " + FServer); }

void TForm1::FallbackServerAsked(const std::string& server) {
  FServer = server;
  ShowCurrentServer();
}

void TForm1::ShowQueryFailure(const std::string& message) { TeSEdit1.SetText(message); }

void TForm1::QueryFinished(const TQueryOutcome& outcome) {
  if (outcome.Failed) {
    FServerTime = outcome.ServerTime;
    EndFailedQuery("Unknown");
    return;
  }
  if (outcome.Generation != FClockGeneration) {
    // Measured against the clock as it was before it was set: applying it would
    // move the clock a second time. The query counts as not done.
    FQueryBusy = false;
    StartQuery();
    return;
  }
  FServerTime = outcome.ServerTime;
  FClockOffset = outcome.ClockOffset;
  FQueryFailed = false;
  FQueryBusy = false;
}

// The flags first: whatever the boxes do, the query has ended and the tick retries it.
void TForm1::EndFailedQuery(const std::string& serverTimeText) {
  FQueryFailed = true;
  FQueryBusy = false;
  TeSEdit1.SetFontColor(255);
  TeSEdit1.SetText(serverTimeText);
  TeSEdit3.SetText("Unknown");
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
