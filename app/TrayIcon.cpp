#include "TrayIcon.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>

TTrayIcon::TTrayIcon(const QIcon& icon, const QString& hint, QObject* parent)
    : QObject(parent), FIcon(new QSystemTrayIcon(icon, this)), FMenu(new QMenu) {
  FIcon->setToolTip(hint.left(63));  // the notification area keeps 63 characters
  FMenu->addAction(QStringLiteral("&Restore"), this, &TTrayIcon::RestoreRequested);
  FMenu->addSeparator();
  QAction* close = FMenu->addAction(QStringLiteral("&Close"), this, &TTrayIcon::CloseRequested);
  close->setShortcut(QKeySequence(QStringLiteral("Alt+F4")));
  FIcon->setContextMenu(FMenu);
  // The first click of a double click arrives as a single click: only the double click acts.
  connect(FIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick) emit RestoreRequested();
  });
}

TTrayIcon::~TTrayIcon() {
  FIcon->hide();
  delete FMenu;
}

void TTrayIcon::Show() { FIcon->show(); }

void TTrayIcon::Hide() { FIcon->hide(); }

bool TTrayIcon::IsShown() const { return FIcon->isVisible(); }

bool TTrayIcon::Available() { return QSystemTrayIcon::isSystemTrayAvailable(); }
