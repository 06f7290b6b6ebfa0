#pragma once
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "IniFile.h"
#include "Protocols/IdSNTP.h"
#include "Protocols/IdTimeUDP.h"
#include "Protocols/IdTimeUDPServer.h"
#include "System/IdException.h"
#include "System/IdGlobal.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimer;
struct TQueryLink;
class TTimeChangeNotifier;
class TeFrame;

// The system refused to set the clock.
class EClockNotSet : public Exception {
public:
  using Exception::Exception;
};

// The main window: every control and component of the program and the
// synchronization controller's state.
class TForm1 : public QWidget {
  Q_OBJECT

public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // The frame: caption bar, roll-up, system menu, notification area.
  TeFrame* TeForm1 = nullptr;
  // The client area under the caption bar, 352 by 392; the controls' positions are relative to it.
  QWidget* ClientArea = nullptr;

  // Controls (Qt owns them as children of the window).
  QLabel* TeLabel1 = nullptr;
  QLineEdit* TeSEdit1 = nullptr;  // Server Time
  QLabel* TeLabel2 = nullptr;
  QLineEdit* TeSEdit2 = nullptr;  // Local Time
  QLabel* TeLabel3 = nullptr;
  QLineEdit* TeSEdit3 = nullptr;  // Difference
  QPushButton* TeButton2 = nullptr;  // "Refresh"
  QPushButton* TeButton1 = nullptr;  // "Synchroize"
  QTabWidget* TePageControl1 = nullptr;
  QWidget* TeTabSheet1 = nullptr;
  QRadioButton* ckNistServer = nullptr;
  QRadioButton* ckCustomServer = nullptr;
  QLabel* TeScrollingLabel1 = nullptr;
  QLineEdit* edtServer = nullptr;
  QLabel* TeScrollingLabel2 = nullptr;
  QComboBox* cbSeverType = nullptr;
  QLabel* labCurServer = nullptr;
  QWidget* TeTabSheet2 = nullptr;
  QCheckBox* ckSyncTime = nullptr;
  QLineEdit* edtSyncTime = nullptr;
  QLabel* TeLabel4 = nullptr;
  QCheckBox* ckRunStartup = nullptr;
  QCheckBox* ckSyncOnStart = nullptr;
  QWidget* TeTabSheet4 = nullptr;
  QGroupBox* TeGroupBox1 = nullptr;
  QRadioButton* ckTimeLocaFormat = nullptr;
  QRadioButton* ckUTCFormat = nullptr;
  QGroupBox* TeGroupBox2 = nullptr;
  QCheckBox* ckRunTimeServer = nullptr;

  // Components. The clients are shared with a running query worker, which may
  // outlive the window by the time its blocked call takes to fail.
  QTimer* Timer1 = nullptr;
  QTimer* SyncTimer = nullptr;
  std::shared_ptr<TIdSNTP> IdSNTP1;
  std::shared_ptr<TIdTimeUDP> IdTimeUDP1;
  std::unique_ptr<TIdTimeUDPServer> IdTimeUDPServer1;

  // Controller state. FQueryBusy is tested and set on the window's thread only and
  // cleared by the worker as its last step (release); the results are read after
  // an acquiring test of it.
  TDateTime FServerTime = 0;
  std::atomic<std::int64_t> FClockOffset{0};
  bool FSettingClock = false;
  std::atomic<bool> FQueryBusy{false};
  std::atomic<bool> FQueryFailed{false};
  std::string FServer;  // guarded by FServerLock
  std::atomic<bool> FUseNistList{false};
  std::atomic<std::int32_t> FServerType{0};
  std::unique_ptr<TIniFile> FIni;
  std::string FAppDir;
  bool FSyncOnStartPending = false;

  mutable std::mutex FServerLock;
  std::string Server() const;
  void SetServer(const std::string& value);

  // Controller operations.
  void StartQuery();
  void ChooseServer();
  void ShowCurrentServer();

  // Handlers.
  void FormCreate();
  void FormDestroy();
  void TeButton2Click();
  void cbSeverTypeChange();
  void ckNistServerClick();
  void ckCustomServerClick();
  void ckSyncTimeClick();
  void ckRunTimeServerClick();
  void ckRunStartupClick();
  void Timer1Timer();
  void TeButton1Click();
  void SyncTimerTimer();
  void WMTimeChange();
  void TeForm1Minimize();

  void AdjustClock();

  void LoadSettings();
  void SaveSettings();

  // Font colours as Windows colour values (0 black, 255 red).
  static void SetFontColor(QLineEdit* box, int color);
  static int FontColor(const QLineEdit* box);

protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  void CreateControls();
  void ConnectHandlers();
  void Handle(void (TForm1::*handler)());

  std::shared_ptr<TQueryLink> FQueryLink;
  TTimeChangeNotifier* FTimeChangeNotifier = nullptr;
  bool FClockErrorShown = false;  // one refusal box at a time
};
