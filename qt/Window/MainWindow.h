// SPDX-License-Identifier: MIT
#pragma once
#include <array>
#include <functional>
#include <memory>

#include <QWidget>

#include "Form/Form1.h"
#include "Form/FormView.h"

class QLineEdit;
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

  // The caption bar and, under it, the client area that the controls' places are relative to.
  TCaptionBar* CaptionBar = nullptr;
  QWidget* ClientArea = nullptr;
  TTrayIcon* Tray = nullptr;
  // The controls of the table (ControlTable.h), by their ids.
  template <class T = QWidget>
  T* Control(TControl control) const {
    return qobject_cast<T*>(FControls[static_cast<std::size_t>(control)]);
  }

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
  void Unminimize() override;
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

  std::array<QWidget*, ControlCount> FControls{};
  bool FRolledUp = false;
  std::unique_ptr<TForm1> FForm;  // made last and destroyed first: it saves from the controls
};

// UTF-8, as the logic holds every text, to Qt's text and back.
QString FromUtf8(const std::string& text);
std::string ToUtf8(const QString& text);
