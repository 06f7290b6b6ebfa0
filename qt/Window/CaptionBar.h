// SPDX-License-Identifier: MIT
#pragma once
#include <functional>
#include <vector>

#include <QIcon>
#include <QPoint>
#include <QWidget>

#include "Form/ControlTable.h"
#include "Form/FrameLogic.h"

class QLabel;
class QMenu;
class QToolButton;

// The window's own caption bar: the system-menu icon, the caption and the
// buttons of the table (ControlTable.h). It draws and forwards; what each
// action does is the frame logic's.
class TCaptionBar : public QWidget {
  Q_OBJECT

public:
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
  QToolButton* AddButton(const TCaptionButtonSpec& spec);
  void Command(TFrameCommand command);
  bool OnIcon(const QMouseEvent* event) const;
  void IconAction(TIconClicks::TAction action);

  QWidget* FWindow;
  QLabel* FIconLabel;
  QLabel* FCaption;
  QMenu* FMenu = nullptr;
  TIconClicks FIconClicks;
  QPoint FDragOffset;
  bool FDragging = false;
};
