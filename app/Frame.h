#pragma once
#include <QElapsedTimer>
#include <QIcon>
#include <QRect>
#include <QWidget>
#include <functional>

class QLabel;
class QMenu;
class QToolButton;
class TTrayIcon;

enum class TFrameState { Normal, RolledUp, InTray };

// The window's own frame: the caption bar above the client area, roll-up, the
// system menu and the move to the notification area. Every way of minimizing
// calls OnMinimize, which the window points at TeForm1Minimize.
class TeFrame : public QWidget {
  Q_OBJECT

public:
  static constexpr int CaptionHeight = 20;
  static constexpr int Border = 1;

  TeFrame(QWidget* window, QWidget* client, const QIcon& icon, const QString& hint);

  TFrameState State() const { return FState; }
  void Rollup();
  void Unroll();
  // The three steps: remember the state, hide the window, show the icon. Without a
  // notification area the window is minimized the ordinary way instead.
  void MoveToTray();
  void RestoreFromTray();
  // The system menu for the current state, as the user would get it.
  QMenu* SystemMenu();
  void ShowSystemMenu(const QPoint& globalPosition);
  TTrayIcon* Tray() const { return FTray; }
  QToolButton* Button(const char* name) const;

  std::function<void()> OnMinimize;
  // Whether the desktop has a notification area; tests replace it.
  std::function<bool()> TrayAvailable;

protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  QToolButton* AddButton(const char* name, const QString& accessibleName, const QIcon& icon);
  void Layout();
  void ApplySize();
  void Minimize();
  bool OnIcon(const QMouseEvent* event) const;

  QWidget* FWindow;
  QWidget* FClient;
  QLabel* FIconLabel;
  QLabel* FCaption;
  QToolButton* FTrayButton;
  QToolButton* FRollupButton;
  QToolButton* FMinimizeButton;
  QToolButton* FCloseButton;
  QElapsedTimer FIconPressed;  // the first click of a possible double click on the icon
  QMenu* FMenu = nullptr;
  TTrayIcon* FTray;
  TFrameState FState = TFrameState::Normal;
  TFrameState FStateBeforeTray = TFrameState::Normal;
  QRect FNormalBounds;
  QPoint FDragOffset;
  bool FDragging = false;
};
