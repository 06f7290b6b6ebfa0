// SPDX-License-Identifier: MIT
#include <QApplication>
#include <gmock/gmock.h>

#include "Support/NetnsCheck.h"

// Widget tests need a QApplication; ctest sets QT_QPA_PLATFORM=offscreen for them.
int main(int argc, char** argv) {
  QApplication application(argc, argv);
  KestrineTest::RequirePrivateNetwork();
  testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
