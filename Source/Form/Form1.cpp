#include "Form/Form1.h"

#include "Form/AppTitle.h"
#include "Form/ErrorBox.h"
#include "Form/FormatClockTime.h"
#include "Form/NistServers.h"

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
      SyncTimer(view, TTimerId::SyncTimer, 500, false), FView(&view), FOptions(std::move(options)),
      FQueryLink(std::make_shared<TQueryLink>()) {
  ckNistServer.MakeRadioPair(ckCustomServer);
  ckTimeLocaFormat.MakeRadioPair(ckUTCFormat);
  TeForm1.OnMinimize = [this] { TeForm1Minimize(); };

  // The components' stored properties.
  IdSNTP1 = std::make_shared<TIdSNTP>();
  IdSNTP1->SetPort(123);
  IdSNTP1->SetHost(DefaultServer);
  try {
    IdSNTP1->SetActive(true);  // the client holds its socket from start-up
  } catch (const Exception&) {
    // The first send opens it instead.
  }
  IdTimeUDP1 = std::make_shared<TIdTimeUDP>();
  IdTimeUDP1->BaseDate = 2.0;
  IdTimeUDPServer1 = std::make_unique<TIdTimeUDPServer>();
  IdTimeUDPServer1->BaseDate = 2.0;
  IdTimeUDPServer1->ThreadedEvent = false;
  FQueryLink->Window = this;
  FQueryLink->SNTP = IdSNTP1;
  FQueryLink->TimeUDP = IdTimeUDP1;

  Timer1.Apply();
  // A failure in the creation handler is reported like any handler's; the window is still made.
  Handle(&TForm1::FormCreate);
}

TForm1::~TForm1() {
  FView->SetTimer(TTimerId::Timer1, Timer1.Interval(), false);
  FView->SetTimer(TTimerId::SyncTimer, SyncTimer.Interval(), false);
  FormDestroy();
  TeForm1.RemoveIcon();
  // A worker still running must find the window gone and end without touching it:
  // its pending and later steps on this thread fail, its waits and its blocked
  // receive end now.
  FQueryLink->Detach();
  IdTimeUDPServer1.reset();  // closes the server; its listener has ended when this returns
}

void TForm1::Handle(void (TForm1::*handler)()) {
  Handle([this, handler] { (this->*handler)(); }, handler == &TForm1::TeButton1Click);
}

void TForm1::Handle(const std::function<void()>& handler, bool userAsked) {
  try {
    handler();
  } catch (const EClockNotSet& error) {
    // Without the right to set the clock every period would bring the same box
    // back: a refusal is shown once, until a set succeeds or the user asks.
    if (FErrorBoxOpen || (!userAsked && error.Message() == FLastClockRefusal)) return;
    FLastClockRefusal = error.Message();
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

void TForm1::TeForm1Minimize() { TeForm1.MoveToTray(); }
