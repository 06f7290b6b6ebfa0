// SPDX-License-Identifier: MIT
// The reference for the idle figures: a bare Qt window with one line edit that a
// 500 ms timer rewrites with the time, and nothing else.
#include <QApplication>
#include <QDateTime>
#include <QLineEdit>
#include <QTimer>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QLineEdit box;
  box.setWindowTitle(QStringLiteral("bare"));
  box.resize(352, 24);
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    box.setText(QDateTime::currentDateTime().toString(QStringLiteral("dd-MMM -yyyy hh:mm:ss")));
  });
  timer.start(500);
  box.show();
  return QApplication::exec();
}
