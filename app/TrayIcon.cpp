#include "TrayIcon.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>

TTrayIcon::TTrayIcon(const QIcon& icon, const QString& hint, QObject* parent)
    : QObject(parent), FPicture(icon), FHint(hint.left(63)), FMenu(new QMenu) {  // the area keeps 63 characters
  FMenu->addAction(QStringLiteral("&Restore"), this, &TTrayIcon::RestoreRequested);
  FMenu->addSeparator();
  QAction* close = FMenu->addAction(QStringLiteral("&Close"), this, &TTrayIcon::CloseRequested);
  close->setShortcut(QKeySequence(QStringLiteral("Alt+F4")));
}

TTrayIcon::~TTrayIcon() {
  delete FIcon;
  delete FMenu;
}

// The icon is made anew each time it is shown: Qt picks the kind of notification
// area when the icon is made, and one that appeared after the program started
// (a session still starting up) is only found that way.
void TTrayIcon::Show() {
  delete FIcon;
  FIcon = new QSystemTrayIcon(FPicture, this);
  FIcon->setToolTip(FHint);
  FIcon->setContextMenu(FMenu);
  // The first click of a double click arrives as a single click: only the double click acts.
  connect(FIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick) emit RestoreRequested();
  });
  FIcon->show();
}

void TTrayIcon::Hide() {
  delete FIcon;
  FIcon = nullptr;
}

bool TTrayIcon::IsShown() const { return FIcon != nullptr && FIcon->isVisible(); }

bool TTrayIcon::Available() { return QSystemTrayIcon::isSystemTrayAvailable(); }
