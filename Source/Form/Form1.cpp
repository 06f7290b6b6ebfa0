// SPDX-License-Identifier: MIT
#include "Form/Form1.h"

#include <algorithm>
#include <cstdint>

#include "Form/AppTitle.h"
#include "Form/ErrorBox.h"
#include "Form/RunAtStartup.h"
#include "Settings/StrToInt.h"
#include "System/IdException.h"
#include "TimeText/FormatClockTime.h"

namespace {

// Timers count in a signed 32-bit number of milliseconds on both platforms.
constexpr std::int64_t MaxSyncMinutes = 0x7FFFFFFF / 60000;

}  // namespace

TForm1::TForm1(IFormView& view, TFormOptions options)
    : TeSEdit1(view, TControl::TeSEdit1), TeSEdit2(view, TControl::TeSEdit2), TeSEdit3(view, TControl::TeSEdit3),
      ckNistServer(view, TControl::ckNistServer, [this] { ckNistServerClick(); }),
      ckCustomServer(view, TControl::ckCustomServer, [this] { ckCustomServerClick(); }),
      edtServer(view, TControl::edtServer), cbSeverType(view, TControl::cbSeverType),
      labCurServer(view, TControl::labCurServer), ckSyncTime(view, TControl::ckSyncTime, [this] { ckSyncTimeClick(); }),
      edtSyncTime(view, TControl::edtSyncTime),
      ckRunStartup(view, TControl::ckRunStartup, [this] { ckRunStartupClick(); }),
      ckSyncOnStart(view, TControl::ckSyncOnStart), ckTimeLocaFormat(view, TControl::ckTimeLocaFormat),
      ckUTCFormat(view, TControl::ckUTCFormat),
      ckRunTimeServer(view, TControl::ckRunTimeServer, [this] { ckRunTimeServerClick(); }),
      TeForm1(view, ApplicationTitle), Timer1(view, TTimerId::Timer1, 500, true),
      SyncTimer(view, TTimerId::SyncTimer, 500, false), IdTimeUDPServer1(std::make_unique<TIdTimeUDPServer>()),
      FView(&view), FOptions(std::move(options)),
      FSync(std::make_unique<TSynchronizer>(static_cast<ISyncWindow&>(*this), FOptions.ExecutablePath)) {
  ckNistServer.MakeRadioPair(ckCustomServer);
  ckTimeLocaFormat.MakeRadioPair(ckUTCFormat);
  TeForm1.OnMinimize = [this] { TeForm1Minimize(); };
  IdTimeUDPServer1->BaseDate = 2.0;
  IdTimeUDPServer1->ThreadedEvent = false;
  Timer1.Apply();
  // A failure in the creation handler is reported like any handler's; the window is still made.
  Handle(&TForm1::FormCreate);
}

TForm1::~TForm1() {
  FView->SetTimer(TTimerId::Timer1, Timer1.Interval(), false);
  FView->SetTimer(TTimerId::SyncTimer, SyncTimer.Interval(), false);
  FormDestroy();
  TeForm1.RemoveIcon();
  // A worker still running must find the window gone and end without touching
  // it, before the server's close below runs the steps queued meanwhile.
  FSync.reset();
  IdTimeUDPServer1.reset();  // closes the server; its listener has ended when this returns
}

void TForm1::FormCreate() {
  // The worker's first step runs on this thread, so only once start-up is over:
  // it sees the settings loaded below.
  FSync->StartQuery();
  if (!FOptions.Settings.Load.empty()) FIni = std::make_unique<TIniFile>(FOptions.Settings.Load);
  LoadSettings();
  if (FOptions.Settings.Save != FOptions.Settings.Load)
    FIni = FOptions.Settings.Save.empty() ? nullptr : std::make_unique<TIniFile>(FOptions.Settings.Save);
  FSync->SetSyncOnStart(ckSyncOnStart.Checked());
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

void TForm1::LoadSettings() { ApplySettings(ReadSettings(FIni.get())); }

void TForm1::SaveSettings() {
  if (!FIni) return;
  try {
    WriteSettings(*FIni, TakeSettings());
  } catch (const std::exception&) {
    // The end of the program reports nothing; the keys not yet written keep their old values.
  }
}

// Each key applies at once, in the file's order. Checking a control runs its
// handler as a click would; setting the list runs none, so the server type
// keeps its own key.
void TForm1::ApplySettings(const TSettings& s) {
  const std::function<void()> keys[] = {
      [&] {
        FSync->SetUseNistList(s.bNISTServer);
        (s.bNISTServer ? ckNistServer : ckCustomServer).SetChecked(true);
      },
      [&] { FSync->SetServerType(s.ServerType); },
      [&] {
        FSync->SetServer(s.TimeServer);
        edtServer.SetText(s.TimeServer);
      },
      [&] { cbSeverType.SetItemIndex(s.ServerProtocol); },
      // Checked here, the timer starts with the box's initial "1"; start-up runs
      // the handler again once the interval is loaded.
      [&] { ckSyncTime.SetChecked(s.ckSyncTime); },
      [&] { edtSyncTime.SetText(s.edtSyncTime); },
      // Checked here, the start-up entry is written again with the program's present path.
      [&] { ckRunStartup.SetChecked(s.ckRunStartup); },
      [&] { ckSyncOnStart.SetChecked(s.ckSyncOnStart); },
      [&] { (s.ckTimeLocaFormat ? ckTimeLocaFormat : ckUTCFormat).SetChecked(true); },
      [&] { ckRunTimeServer.SetChecked(s.ckRunTimeServer); },
  };
  for (const auto& key : keys) {
    try {
      key();
    } catch (const std::exception&) {
      // A key that cannot be applied (a refused start-up entry) is skipped
      // without a word; the keys after it still apply.
    }
  }
}

TSettings TForm1::TakeSettings() const {
  return {.bNISTServer = FSync->UseNistList(),
          .ServerType = FSync->ServerType(),
          .TimeServer = FSync->Server(),
          .ServerProtocol = cbSeverType.ItemIndex(),
          .ckSyncTime = ckSyncTime.Checked(),
          .edtSyncTime = edtSyncTime.Text(),
          .ckRunStartup = ckRunStartup.Checked(),
          .ckSyncOnStart = ckSyncOnStart.Checked(),
          .ckTimeLocaFormat = ckTimeLocaFormat.Checked(),
          .ckRunTimeServer = ckRunTimeServer.Checked()};
}

TServerRequest TForm1::ServerRequest() {
  return {ckNistServer.Checked(), ckCustomServer.Checked(), edtServer.Text(), cbSeverType.ItemIndex()};
}

void TForm1::ShowQueryText(const std::string& text) { TeSEdit1.SetText(text); }

void TForm1::ShowCurrentServer(const std::string& server) { labCurServer.SetText("Current Server: " + server); }

void TForm1::ShowQueryFailed(const std::string& serverTimeText) {
  TeSEdit1.SetFontColor(255);
  TeSEdit1.SetText(serverTimeText);
  TeSEdit3.SetText("Unknown");
}

void TForm1::TeButton1Click() { FSync->AdjustClock(); }

void TForm1::TeButton2Click() { FSync->StartQuery(); }

void TForm1::cbSeverTypeChange() {
  FSync->SetServerType(cbSeverType.ItemIndex());
  FSync->StartQuery();
}

void TForm1::ckNistServerClick() {
  if (!ckNistServer.Checked()) return;
  edtServer.SetEnabled(false);
  cbSeverType.SetEnabled(false);
  FSync->StartQuery();
}

void TForm1::ckCustomServerClick() {
  if (!ckCustomServer.Checked()) return;
  edtServer.SetEnabled(true);
  cbSeverType.SetEnabled(true);
  FSync->StartQuery();
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

// Every check writes the entry anew, so it follows the program when it moves.
void TForm1::ckRunStartupClick() {
  if (!ckRunStartup.Checked()) {
    SetRunAtStartup(RunAtStartupName, std::string());
    return;
  }
  // Without the program's path there is nothing to start: an entry written
  // earlier stays as it is rather than being deleted under a ticked box.
  if (FOptions.ExecutablePath.empty())
    throw Exception(std::string("Failed to set data for '") + RunAtStartupName +
                    "': the program's own path could not be read");
  SetRunAtStartup(RunAtStartupName, FOptions.ExecutablePath);
}

void TForm1::ckRunTimeServerClick() {
  try {
    IdTimeUDPServer1->SetActive(ckRunTimeServer.Checked());
  } catch (const std::exception&) {
    // Switching the server reports nothing: without the port the box stays ticked and the server off.
  }
}

void TForm1::Timer1Timer() {
  TeSEdit2.SetText(FormatClockTime(ckTimeLocaFormat.Checked(), Now()));
  const std::optional<std::int64_t> offset = FSync->StatusTick();
  if (!offset) return;
  TeSEdit1.SetFontColor(0);
  TeSEdit1.SetText(FormatClockTime(ckTimeLocaFormat.Checked(), AddSeconds(Now(), -*offset)));
  TeSEdit3.SetText(DifferenceText(*offset));
  TeSEdit2.SetFontColor(*offset == 0 ? 0 : 255);
}

void TForm1::SyncTimerTimer() { FSync->AdjustClock(); }

void TForm1::WMTimeChange() { FSync->ClockChanged(); }

void TForm1::TeForm1Minimize() { TeForm1.MoveToTray(); }

// The clock-change notice stops when its watch cannot be armed again: say so
// once, and try again at each tick until it works.
void TForm1::CheckTimeChangeWatch() {
  if (FTimeChangeWatch.Handle() < 0 || FTimeChangeWatch.IsArmed() || FTimeChangeWatch.Rearm()) {
    FWatchFailureShown = false;
    return;
  }
  if (FWatchFailureShown) return;
  FWatchFailureShown = true;
  throw Exception("Changes of the system clock by other programs can no longer be noticed: " +
                  FTimeChangeWatch.ErrorText());
}

void TForm1::Handle(void (TForm1::*handler)()) {
  Handle([this, handler] { (this->*handler)(); }, handler == &TForm1::TeButton1Click);
}

void TForm1::Handle(const std::function<void()>& handler, bool userAsked) {
  try {
    handler();
  } catch (const EClockNotSet& error) {
    if (FErrorBoxOpen || !FSync->RefusalIsNews(error.Message(), userAsked)) return;
    ShowError(error.Message());
  } catch (const std::exception& error) {
    ShowError(error.what());
  }
}

// One box at a time, whatever its reason: the ticks that run inside a box's
// loop would otherwise stack one box on another.
void TForm1::ShowError(const std::string& message) {
  if (FErrorBoxOpen) return;
  FErrorBoxOpen = true;
  const TNestedLoop box(*this);
  try {
    FView->ShowErrorBox(ErrorBoxText(message));
  } catch (...) {
    FErrorBoxOpen = false;
    throw;
  }
  FErrorBoxOpen = false;
}

TForm1::TNestedLoop::TNestedLoop(TForm1& form) : FForm(form) { ++FForm.FNestedLoops; }

TForm1::TNestedLoop::~TNestedLoop() {
  if (--FForm.FNestedLoops > 0 || !FForm.FCloseDeferred) return;
  FForm.FCloseDeferred = false;
  FForm.FView->CloseWindow();
}

bool TForm1::CloseQuery() {
  if (FNestedLoops == 0) return true;
  FCloseDeferred = true;
  return false;
}

TCheckRef* TForm1::CheckByControl(TControl control) {
  for (TCheckRef* check : {&ckNistServer, &ckCustomServer, &ckSyncTime, &ckRunStartup, &ckSyncOnStart,
                           &ckTimeLocaFormat, &ckUTCFormat, &ckRunTimeServer})
    if (check->Id() == control) return check;
  return nullptr;
}

void TForm1::ButtonClicked(TControl button) {
  if (button == TControl::TeButton1) Handle(&TForm1::TeButton1Click);
  if (button == TControl::TeButton2) Handle(&TForm1::TeButton2Click);
}

void TForm1::ControlChanged(TControl control) {
  TCheckRef* check = CheckByControl(control);
  if (check != nullptr && check->UserChanged() && check->OnClick) Handle(check->OnClick);
}

void TForm1::ItemSelected(TControl list) {
  if (list == TControl::cbSeverType) Handle(&TForm1::cbSeverTypeChange);
}

void TForm1::TimerFired(TTimerId timer) {
  if (timer == TTimerId::SyncTimer) {
    Handle(&TForm1::SyncTimerTimer);
    return;
  }
  Handle(&TForm1::Timer1Timer);
  Handle(&TForm1::CheckTimeChangeWatch);
}

void TForm1::TimeChanged() { Handle(&TForm1::WMTimeChange); }

void TForm1::TimeChangeHandleReadable() {
  if (FTimeChangeWatch.Acknowledge()) TimeChanged();
}

void TForm1::FrameCommand(TFrameCommand command) {
  Handle([this, command] { TeForm1.Execute(command); });
}

void TForm1::MinimizedBySystem() {
  Handle([this] { TeForm1.MinimizedBySystem(); });
}

void TForm1::AnotherStart() { TeForm1.BringBack(); }

void TForm1::SessionEnding() {
  SaveSettings();
  if (FIni) FIni->Flush();
  TeForm1.RemoveIcon();
}

void TForm1::SetUserFormat(const TFormatSettings& settings) { FOptions.UserFormat = settings; }

std::string TForm1::FormatClockTime(bool useLocalFormat, TDateTime value) const {
  return ::FormatClockTime(useLocalFormat, value, FOptions.UserFormat, FOptions.UsFormat);
}
