// SPDX-License-Identifier: MIT
#include <gmock/gmock.h>

#include "Support/NetnsCheck.h"

int main(int argc, char** argv) {
  KestrineTest::RequirePrivateNetwork();
  testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
