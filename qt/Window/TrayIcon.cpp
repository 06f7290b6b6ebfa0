// SPDX-License-Identifier: MIT
#include "TrayIcon.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QMenu>
#include <QSystemTrayIcon>

#include "FrameMenu.h"

namespace {

// Qt shows the icon through a StatusNotifierItem host when the session bus has a
// watcher that reports a registered host, else in an XEmbed tray; those hosts
// report the user's activation as a single click and never send a double click.
// Qt asks this once, when it first looks for a notification area, and keeps the
// answer; the first showing of the icon comes right after that and keeps it too.
bool AsksStatusNotifierHost() {
  // Without a session bus there is no such host, and no bus connection (and its
  // thread) is started just to learn that.
  if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return false;
  const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || !bus.interface()->isServiceRegistered(watcher).value()) return false;
  QDBusMessage get =
      QDBusMessage::createMethodCall(watcher, QStringLiteral("/StatusNotifierWatcher"),
                                     QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  get << watcher << QStringLiteral("IsStatusNotifierHostRegistered");
  const QDBusMessage reply = bus.call(get, QDBus::Block, 5000);
  return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
         reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}

bool ActivationIsASingleClick() {
  static const bool statusNotifierHost = AsksStatusNotifierHost();
  return statusNotifierHost;
}

}  // namespace

TTrayIcon::TTrayIcon(const QIcon& icon, const std::vector<TMenuItem>& menu, QObject* parent)
    : QObject(parent), FPicture(icon), FItems(menu) {}

QMenu* TTrayIcon::Menu() {
  if (FMenu == nullptr) {
    FMenu = new QMenu;
    FillMenu(FMenu, FItems, [this](TFrameCommand command) { emit CommandChosen(command); });
  }
  return FMenu;
}

TTrayIcon::~TTrayIcon() {
  delete FIcon;
  delete FMenu;
}

// The icon is made anew each time it is shown: Qt picks the kind of notification
// area when the icon is made, and one that appeared after the program started
// (a session still starting up) is only found that way.
void TTrayIcon::Show(const QString& hint) {
  delete FIcon;
  FIcon = new QSystemTrayIcon(FPicture, this);
  FIcon->setToolTip(hint);
  FIcon->setContextMenu(Menu());
  // In an XEmbed tray the first click of a double click arrives as a single click
  // of its own, so there only the double click restores.
  const bool singleClickRestores = ActivationIsASingleClick();
  connect(FIcon, &QSystemTrayIcon::activated, this,
          [this, singleClickRestores](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::DoubleClick || (singleClickRestores && reason == QSystemTrayIcon::Trigger))
              emit CommandChosen(TFrameCommand::Restore);
          });
  FIcon->show();
}

// Restoring runs inside the icon's own activation signal: the icon goes once that has returned.
void TTrayIcon::Hide() {
  if (FIcon == nullptr) return;
  FIcon->hide();
  FIcon->deleteLater();
  FIcon = nullptr;
}

bool TTrayIcon::IsShown() const { return FIcon != nullptr && FIcon->isVisible(); }

bool TTrayIcon::Available() { return QSystemTrayIcon::isSystemTrayAvailable(); }
