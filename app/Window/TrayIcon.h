#pragma once
#include <QIcon>
#include <QObject>
#include <QString>

class QMenu;
class QSystemTrayIcon;

// The icon in the notification area while the window is there: a double click
// restores it (a StatusNotifierItem host's activation, which is its click, too);
// the right button opens "&Restore" and "&Close".
class TTrayIcon : public QObject {
  Q_OBJECT

public:
  TTrayIcon(const QIcon& icon, const QString& hint, QObject* parent);
  ~TTrayIcon() override;

  void Show();
  void Hide();
  bool IsShown() const;
  QMenu* Menu() const { return FMenu; }
  static bool Available();

signals:
  void RestoreRequested();
  void CloseRequested();

private:
  QIcon FPicture;
  QString FHint;
  QMenu* FMenu;
  QSystemTrayIcon* FIcon = nullptr;  // only while shown
};
