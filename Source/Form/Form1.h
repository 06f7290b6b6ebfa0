// SPDX-License-Identifier: MIT
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "Form/Controls.h"
#include "Form/FormView.h"
#include "Form/FrameLogic.h"
#include "Platform/TimeChange.h"
#include "Protocols/IdTimeUDPServer.h"
#include "Settings/IniFile.h"
#include "Settings/Settings.h"
#include "Settings/SettingsPath.h"
#include "Sync/Synchronizer.h"
#include "System/IdGlobal.h"
#include "TimeText/FormatDateTime.h"

// What the program's entry hands the window.
struct TFormOptions {
  std::string ExecutablePath;  // empty when the system cannot tell
  TSettingsPaths Settings;     // empty paths: nothing is loaded or saved
  TFormatSettings UserFormat;  // the user's regional settings
  TFormatSettings UsFormat;    // US English, for the fixed format
};

// The main window's front: its controls and components, every handler, and what
// the front-end calls. It reaches the window only through IFormView. The
// synchronizer holds the controller's state; the settings file is read into a
// record that the window applies to its controls, and taken back at the end.
class TForm1 final : private ISyncWindow {
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

  // Components.
  TTimerRef Timer1;
  TTimerRef SyncTimer;
  std::unique_ptr<TIdTimeUDPServer> IdTimeUDPServer1;

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
  // What the synchronizer reads and shows (ISyncWindow).
  TServerRequest ServerRequest() override;
  void ShowQueryText(const std::string& text) override;
  void ShowCurrentServer(const std::string& server) override;
  void ShowQueryFailed(const std::string& serverTimeText) override;

  // The settings file is read once at start-up and written once at the end.
  void LoadSettings();
  void SaveSettings();
  void ApplySettings(const TSettings& settings);
  TSettings TakeSettings() const;

  // Runs a handler; a failure goes to the error box.
  void Handle(void (TForm1::*handler)());
  void Handle(const std::function<void()>& handler, bool userAsked = false);
  TCheckRef* CheckByControl(TControl control);
  void CheckTimeChangeWatch();
  void ShowError(const std::string& message);

  IFormView* FView;
  TFormOptions FOptions;
  std::unique_ptr<TSynchronizer> FSync;
  std::unique_ptr<TIniFile> FIni;
  Platform::TTimeChangeWatch FTimeChangeWatch;
  bool FErrorBoxOpen = false;  // one error box at a time
  bool FWatchFailureShown = false;
  int FNestedLoops = 0;
  bool FCloseDeferred = false;
};
