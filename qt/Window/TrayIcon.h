// SPDX-License-Identifier: MIT
#pragma once
#include <vector>

#include <QIcon>
#include <QObject>
#include <QString>

#include "Form/FrameLogic.h"

class QMenu;
class QSystemTrayIcon;

// The icon in the notification area while the window is there: a double click
// restores it (a StatusNotifierItem host's activation, which is its click, too);
// the right button opens the menu it is given.
class TTrayIcon : public QObject {
  Q_OBJECT

public:
  TTrayIcon(const QIcon& icon, const std::vector<TMenuItem>& menu, QObject* parent);
  ~TTrayIcon() override;

  void Show(const QString& hint);
  void Hide();
  bool IsShown() const;
  // Made when first needed: most runs never show the icon.
  QMenu* Menu();
  static bool Available();

signals:
  void CommandChosen(TFrameCommand command);

private:
  QIcon FPicture;
  std::vector<TMenuItem> FItems;
  QMenu* FMenu = nullptr;
  QSystemTrayIcon* FIcon = nullptr;  // only while shown
};
