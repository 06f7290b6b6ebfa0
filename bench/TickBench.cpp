// SPDX-License-Identifier: MIT
// The cost of one status tick (both FormatClockTime calls and the writes to the
// three boxes) on a window whose query has succeeded, and of each format alone.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QLocale>
#include <QTimer>

#include "Core/IdSync.h"
#include "Fakes/FakeUdpServer.h"
#include "MainWindow.h"
#include "Protocols/IdRequestPacer.h"
#include "RegionalSettings.h"
#include "Support/NetnsCheck.h"
#include "Sync/GetTimeClientThread.h"

namespace {

using Clock = std::chrono::steady_clock;

// Median of batches of 100 calls, in microseconds per call.
double MedianMicros(const std::function<void()>& call, int batches) {
  std::vector<double> perCall;
  for (int b = 0; b < batches; ++b) {
    const auto start = Clock::now();
    for (int i = 0; i < 100; ++i) call();
    perCall.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count() / 100);
  }
  std::sort(perCall.begin(), perCall.end());
  return perCall[perCall.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  KestrineTest::RequirePrivateNetwork();
  TIdRequestPacer::Default().SetMinInterval(std::chrono::milliseconds(0));
  KestrineTest::FakeUdpServer server("127.0.0.1", 123, KestrineTest::SntpHandler(3.0));
  TFormOptions options;
  options.UserFormat = FormatSettingsFromLocale(QLocale::system());
  options.UsFormat = UsEnglishFormatSettings();
  TMainWindow window(std::move(options));
  TForm1& form = window.Form();
  window.Timer1->stop();
  window.Control<QLineEdit>(TControl::edtServer)->setText(QStringLiteral("127.0.0.1"));
  window.Control<QAbstractButton>(TControl::ckCustomServer)->click();
  while (TGetTimeClientThread::RunningCount() > 0) {
    QCoreApplication::processEvents();
    IdSync::RunQueued();
  }
  const TDateTime now = Now();
  form.Timer1Timer();
  std::printf("difference shown: %s\n", window.Text(TControl::TeSEdit3).c_str());
  window.Control<QAbstractButton>(TControl::ckTimeLocaFormat)->click();
  std::printf("tick, local format:   %.2f us\n", MedianMicros([&] { form.Timer1Timer(); }, 200));
  window.Control<QAbstractButton>(TControl::ckUTCFormat)->click();
  std::printf("tick, fixed format:   %.2f us\n", MedianMicros([&] { form.Timer1Timer(); }, 200));
  std::printf("FormatClockTime local: %.2f us\n", MedianMicros([&] { form.FormatClockTime(true, now); }, 200));
  std::printf("FormatClockTime fixed: %.2f us\n", MedianMicros([&] { form.FormatClockTime(false, now); }, 200));
  // An hour of ticks (7200), resident memory before and after: it must not grow.
  const auto rss = [] {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
      if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0L;
  };
  window.Control<QAbstractButton>(TControl::ckTimeLocaFormat)->click();
  const long before = rss();
  for (int i = 0; i < 7200; ++i) {
    form.Timer1Timer();
    QCoreApplication::processEvents();
  }
  std::printf("resident memory before an hour of ticks %ld KiB, after %ld KiB\n", before, rss());
  return 0;
}
