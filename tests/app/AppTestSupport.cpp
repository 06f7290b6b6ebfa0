#include "AppTestSupport.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <gtest/gtest.h>
#include <thread>

#include "Core/IdSync.h"
#include "Form1.h"
#include "GetTimeClientThread.h"
#include "Support/NetnsCheck.h"

namespace KestrineTest {

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    QCoreApplication::processEvents();
    IdSync::RunQueued();
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void PumpFor(std::chrono::milliseconds duration) {
  PumpUntil([] { return false; }, duration);
}

void CloseForm(std::unique_ptr<TForm1>& form) {
  form.reset();
  EXPECT_TRUE(PumpUntil([] { return TGetTimeClientThread::RunningCount() == 0; }, std::chrono::seconds(15)))
      << "a query worker did not end after its window was destroyed";
}

ScopedLoopbackAddress::ScopedLoopbackAddress(std::string address) : FAddress(std::move(address)) {
  AddLoopbackAddress(FAddress);
}

ScopedLoopbackAddress::~ScopedLoopbackAddress() {
  RemoveLoopbackAddress(FAddress);
}

std::string Text(const QLineEdit* box) { return box->text().toStdString(); }
std::string Text(const QLabel* label) { return label->text().toStdString(); }

}  // namespace KestrineTest
