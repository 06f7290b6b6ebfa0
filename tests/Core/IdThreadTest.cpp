#include "Core/IdThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "Core/IdThreadStart.h"
#include "System/IdException.h"

namespace {

TEST(IdThreadStartTest, ARefusedStartRaisesWithTheReasonAndNeverRunsTheBody) {
  std::atomic<int> runs{0};
  {
    IdThreadStart::TScopedRefusal refusal;
    try {
      IdThreadStart::Start([&] { ++runs; });
      FAIL() << "the start was not refused";
    } catch (const Exception& error) {
      const std::string message = error.what();
      EXPECT_EQ(message.rfind("Cannot start a thread: ", 0), 0u) << message;
      EXPECT_GT(message.size(), std::string("Cannot start a thread: ").size()) << "the system's reason is missing";
    }
  }
  std::thread started = IdThreadStart::Start([&] { ++runs; });
  started.join();
  EXPECT_EQ(runs.load(), 1);
}

}  // namespace
