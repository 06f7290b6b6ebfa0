#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Form/Controls.h"
#include "Form/FormView.h"
#include "Form/FormatDateTime.h"
#include "Form/FrameLogic.h"
#include "Form/GetTimeClientThread.h"
#include "Form/IniFile.h"
#include "Platform/TimeChange.h"
#include "Protocols/IdSNTP.h"
#include "Protocols/IdTimeUDP.h"
#include "Protocols/IdTimeUDPServer.h"
#include "Form/SettingsPath.h"
#include "System/IdException.h"
#include "System/IdGlobal.h"

// The system refused to set the clock.
class EClockNotSet : public Exception {
public:
  using Exception::Exception;
};

// What the program's entry hands the window.
struct TFormOptions {
  std::string ExecutablePath;  // empty when the system cannot tell
  TSettingsPaths Settings;     // empty paths: nothing is loaded or saved
  TFormatSettings UserFormat;  // the user's regional settings
  TFormatSettings UsFormat;    // US English, for the fixed format
};

// The main window's logic: the synchronization controller's state, every
// handler of the window and its components. It reaches the window only through
// IFormView; the front-end forwards the user's actions to the handlers below.
// Its query worker reaches it only through IQueryWindow, on the window's thread.
class TForm1 final : public IQueryWindow {
public:
  TForm1(IFormView& view, TFormOptions options);
  ~TForm1();
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // Controls.
  TEditRef TeSEdit1, TeSEdit2, TeSEdit3;  // Server Time, Local Time, Difference
  TCheckRef ckNistServer, ckCustomServer;
  TEditRef edtServer;
  TListRef cbSeverType;
  TEditRef labCurServer;
  TCheckRef ckSyncTime;
  TEditRef edtSyncTime;
  TCheckRef ckRunStartup, ckSyncOnStart;
  TCheckRef ckTimeLocaFormat, ckUTCFormat;
  TCheckRef ckRunTimeServer;
  TFrameLogic TeForm1;

  // Components. The clients are shared with a running query worker, which may
  // outlive the window by the time its blocked call takes to fail.
  TTimerRef Timer1;
  TTimerRef SyncTimer;
  std::shared_ptr<TIdSNTP> IdSNTP1;
  std::shared_ptr<TIdTimeUDP> IdTimeUDP1;
  std::unique_ptr<TIdTimeUDPServer> IdTimeUDPServer1;

  // Controller state. Only the window's thread touches it: the query worker hands
  // its steps over (IQueryWindow).
  TDateTime FServerTime = 0;
  std::int64_t FClockOffset = 0;
  bool FSettingClock = false;
  bool FQueryBusy = false;
  bool FQueryFailed = false;
  std::string FServer;
  bool FUseNistList = false;
  std::int32_t FServerType = 0;
  std::unique_ptr<TIniFile> FIni;
  bool FSyncOnStartPending = false;

  // Controller operations.
  void StartQuery();
  TServerChoice ChooseServer() override;
  void ShowCurrentServer();
  void AdjustClock();

  // Handlers.
  void FormCreate();
  void FormDestroy();
  void TeButton1Click();
  void TeButton2Click();
  void cbSeverTypeChange();
  void ckNistServerClick();
  void ckCustomServerClick();
  void ckSyncTimeClick();
  void ckRunStartupClick();
  void ckRunTimeServerClick();
  void Timer1Timer();
  void SyncTimerTimer();
  void WMTimeChange();
  void TeForm1Minimize();

  void LoadSettings();
  void SaveSettings();

  // What the front-end calls. Each runs its handler and shows a failure in the error box.
  void ButtonClicked(TControl button);
  void ControlChanged(TControl control);  // the user changed a check box or radio button
  void ItemSelected(TControl list);       // the user selected an item of the list
  void TimerFired(TTimerId timer);
  void TimeChanged();  // the system's notice that the clock was changed
  void FrameCommand(TFrameCommand command);
  void MinimizedBySystem();                             // the window was minimized from outside
  void SessionEnding();                                 // the desktop session ends: save now
  void AnotherStart();                                  // a later start of the program asks for the window
  void SetUserFormat(const TFormatSettings& settings);  // the regional settings changed

  // A nested message loop on the window's thread (an error box, a menu, a move)
  // may run any event, a close too; the logic on whose stack it runs must
  // outlive it. The front-end asks CloseQuery before it destroys the window:
  // while a loop runs the answer is no, and the close is asked for again
  // (CloseWindow) as soon as the last loop has ended.
  class TNestedLoop {
  public:
    explicit TNestedLoop(TForm1& form);
    ~TNestedLoop();
    TNestedLoop(const TNestedLoop&) = delete;
    TNestedLoop& operator=(const TNestedLoop&) = delete;

  private:
    TForm1& FForm;
  };
  bool CloseQuery();

  // The clock-change notice where the system offers a handle to watch (-1 where
  // the notice comes as a window message instead): the front-end watches it and
  // calls TimeChangeHandleReadable when it turns readable.
  int TimeChangeHandle() const { return FTimeChangeWatch.Handle(); }
  void TimeChangeHandleReadable();

  // The text in the Local/Server Time boxes for a value.
  std::string FormatClockTime(bool useLocalFormat, TDateTime value) const;

private:
  // The query's other steps (IQueryWindow).
  void FallbackServerAsked(const std::string& server) override;
  void ShowQueryFailure(const std::string& message) override;
  void QueryFinished(const TQueryOutcome& outcome) override;
  void EndFailedQuery(const std::string& serverTimeText);

  // Runs a handler; a failure goes to the error box.
  void Handle(void (TForm1::*handler)());
  void Handle(const std::function<void()>& handler, bool userAsked = false);
  TCheckRef* CheckByControl(TControl control);
  void CheckTimeChangeWatch();
  void ShowError(const std::string& message);

  IFormView* FView;
  TFormOptions FOptions;
  std::shared_ptr<TQueryLink> FQueryLink;
  Platform::TTimeChangeWatch FTimeChangeWatch;
  // How often the clock was set, by the program or another: a measurement across a set is stale.
  std::uint64_t FClockGeneration = 0;
  bool FErrorBoxOpen = false;     // one error box at a time
  std::string FLastClockRefusal;  // shown once until a set succeeds or the user asks
  bool FWatchFailureShown = false;
  int FNestedLoops = 0;
  bool FCloseDeferred = false;
};
