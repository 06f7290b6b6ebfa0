#pragma once
#include <QIcon>
#include <QPoint>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "Form/FrameLogic.h"

class QLabel;
class QMenu;
class QToolButton;

// The window's own caption bar: the system-menu icon, the caption and the
// buttons for the notification area, roll-up, minimize and close. It draws and
// forwards; what each action does is the frame logic's.
class TCaptionBar : public QWidget {
  Q_OBJECT

public:
  static constexpr int Height = 20;
  static constexpr int Border = 1;

  TCaptionBar(QWidget* window, const QIcon& icon);

  // The menu's items for the frame's present state, and what a chosen item does.
  std::function<std::vector<TMenuItem>()> MenuItems;
  std::function<void(TFrameCommand)> OnCommand;

  void ShowRolledUp(bool rolledUp);
  // The system menu as the user gets it, at a screen position.
  QMenu* ShowSystemMenu(const QPoint& globalPosition);
  QMenu* Menu() const { return FMenu; }
  QToolButton* Button(const char* name) const;

protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  QToolButton* AddButton(const char* name, const QString& accessibleName, const QIcon& icon);
  void Command(TFrameCommand command);
  bool OnIcon(const QMouseEvent* event) const;

  QWidget* FWindow;
  QLabel* FIconLabel;
  QLabel* FCaption;
  QToolButton* FRollupButton;
  QMenu* FMenu = nullptr;
  std::optional<quint64> FIconPressedAt;  // event time of the click that opened the menu from the icon
  QPoint FDragOffset;
  bool FDragging = false;
};
