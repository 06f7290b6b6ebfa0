// SPDX-License-Identifier: MIT
// Asked to end by a signal, the program leaves its event loop and ends through its
// normal path, which saves the settings.
#include <csignal>

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include "QuitOnSignal.h"

namespace {

TEST(QuitOnSignalTest, EachSignalEndsTheEventLoop) {
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    struct sigaction current {};
    sigaction(signal, nullptr, &current);
    if (current.sa_handler == SIG_IGN) continue;  // ignored from the start (nohup): stays ignored
    const TQuitOnSignal quitOnSignal;
    bool timedOut = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
      timedOut = true;
      QCoreApplication::quit();
    });
    guard.start(5000);
    QTimer::singleShot(0, [signal] { std::raise(signal); });
    QCoreApplication::exec();
    EXPECT_FALSE(timedOut) << "signal " << signal;
  }
}

}  // namespace
