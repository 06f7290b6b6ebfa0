#pragma once
#include <QObject>
#include <QString>

class QIcon;
class QMenu;
class QSystemTrayIcon;

// The icon in the notification area while the window is there: a double click
// restores it; the right button opens "&Restore" and "&Close".
class TTrayIcon : public QObject {
  Q_OBJECT

public:
  TTrayIcon(const QIcon& icon, const QString& hint, QObject* parent);
  ~TTrayIcon() override;

  void Show();
  void Hide();
  bool IsShown() const;
  QMenu* Menu() const { return FMenu; }
  QSystemTrayIcon* Icon() const { return FIcon; }
  static bool Available();

signals:
  void RestoreRequested();
  void CloseRequested();

private:
  QSystemTrayIcon* FIcon;
  QMenu* FMenu;
};
