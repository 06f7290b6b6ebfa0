#pragma once
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

#include "Form1.h"
#include "FormView.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimer;
class TCaptionBar;
class TTrayIcon;

// The main window drawn with Qt: it builds the controls at their places, shows
// what the logic (TForm1) writes and forwards every event to it. It decides nothing.
class TMainWindow : public QWidget, public IFormView {
  Q_OBJECT

public:
  explicit TMainWindow(TFormOptions options, QWidget* parent = nullptr);
  ~TMainWindow() override;

  TForm1& Form() { return *FForm; }

  // The caption bar and, under it, the client area of 352 by 392 that the controls' places are relative to.
  TCaptionBar* TeForm1 = nullptr;
  QWidget* ClientArea = nullptr;
  TTrayIcon* Tray = nullptr;

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
  QTimer* Timer1 = nullptr;
  QTimer* SyncTimer = nullptr;

  // Whether the desktop has a notification area; tests replace it.
  std::function<bool()> TrayAvailableTest;

  // IFormView.
  std::string Text(TControl control) const override;
  void SetText(TControl control, const std::string& text) override;
  void SetFontColor(TControl control, int color) override;
  void SetEnabled(TControl control, bool enabled) override;
  bool Checked(TControl control) const override;
  void SetChecked(TControl control, bool checked) override;
  int ItemIndex(TControl control) const override;
  void SetItemIndex(TControl control, int index) override;
  void SetTimer(TTimerId timer, std::uint32_t intervalMs, bool enabled) override;
  void ShowErrorBox(const std::string& text) override;
  bool TrayAvailable() override;
  TBounds WindowBounds() override;
  void HideWindow() override;
  void ShowWindow(const TBounds* bounds) override;
  void MinimizeOrdinary() override;
  void SetRolledUp(bool rolledUp) override;
  bool ShowTrayIcon(const std::string& hint) override;
  void RemoveTrayIcon() override;
  void CloseWindow() override;

  // A Windows colour value (0 black, 255 red) as a box shows it.
  static int FontColor(const QLineEdit* box);

protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  void CreateControls();
  void CreateFrame();
  void ConnectEvents();
  void ApplySize();
  QWidget* Control(TControl control) const;

  std::array<QWidget*, 17> FControls{};
  bool FRolledUp = false;
  std::unique_ptr<TForm1> FForm;  // made last and destroyed first: it saves from the controls
};

// UTF-8, as the logic holds every text, to Qt's text and back.
QString FromUtf8(const std::string& text);
std::string ToUtf8(const QString& text);
