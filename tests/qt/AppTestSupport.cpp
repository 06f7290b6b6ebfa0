// SPDX-License-Identifier: MIT
#include "AppTestSupport.h"

#include <thread>

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QTimer>
#include <gtest/gtest.h>

#include "Core/IdSync.h"
#include "MainWindow.h"
#include "RegionalSettings.h"
#include "Support/TestHelpers.h"
#include "Sync/GetTimeClientThread.h"

namespace KestrineTest {

std::unique_ptr<TMainWindow> MakeWindow() {
  TFormOptions options;
  options.UserFormat = FormatSettingsFromLocale(QLocale::c());
  options.UsFormat = UsEnglishFormatSettings();
  auto window = std::make_unique<TMainWindow>(std::move(options));
  window->Timer1->stop();
  return window;
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  return PollUntil(
      [&] {
        QCoreApplication::processEvents();
        IdSync::RunQueued();
        return done();
      },
      timeout);
}

void PumpFor(std::chrono::milliseconds duration) {
  PumpUntil([] { return false; }, duration);
}

void CloseForm(std::unique_ptr<TMainWindow>& form) {
  form.reset();
  EXPECT_TRUE(PumpUntil([] { return TGetTimeClientThread::RunningCount() == 0; }, std::chrono::seconds(15)))
      << "a query worker did not end after its window was destroyed";
}

std::string Text(const QLineEdit* box) { return ToUtf8(box->text()); }
std::string Text(const QLabel* label) { return ToUtf8(label->text()); }

}  // namespace KestrineTest
