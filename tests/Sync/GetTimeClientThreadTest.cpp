// SPDX-License-Identifier: MIT
// The query worker alone, behind a fake of its door: no synchronizer exists.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Fakes/FakeUdpServer.h"
#include "Sync/SynchronizerFixture.h"

using namespace KestrineTest;
using namespace std::chrono_literals;

namespace {

// It takes the choice as given, and hands back what it measured under the
// choice's generation.
class RecordingDoor : public IQueryWindow {
public:
  explicit RecordingDoor(TServerChoice choice) : FChoice(std::move(choice)) {}
  std::vector<std::string> Steps;
  std::optional<TQueryOutcome> Outcome;

  TServerChoice ChooseServer() override {
    Steps.push_back("choose");
    return FChoice;
  }
  void FallbackServerAsked(const std::string& server) override { Steps.push_back("asking " + server); }
  void ShowQueryFailure(const std::string& message) override { Steps.push_back("failed: " + message); }
  void QueryFinished(const TQueryOutcome& outcome) override {
    Steps.push_back("finished");
    Outcome = outcome;
  }

private:
  TServerChoice FChoice;
};

TEST(GetTimeClientThreadTest, TheWorkerGetsItsChoiceAndHandsBackItsOutcomeThroughTheDoorOnly) {
  IdSync::SetMainThread();
  TIdRequestPacer::Default().SetMinInterval(0ms);
  FakeUdpServer server("127.0.0.1", 37, TimeProtocolHandler(-10.0));
  struct Case {
    const char* Server;
    std::int32_t ServerType;
    std::vector<std::string> Steps;
    bool Failed;
    std::int64_t Offset;
  };
  const Case cases[] = {
      {"127.0.0.1", 1, {"choose", "finished"}, false, 10},  // the Time server answers, 10 s behind us
      {"192.0.2.1", 0, {"choose", "failed: Socket Error # 10051\r\nNetwork is unreachable.", "finished"}, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Server);
    RecordingDoor door({c.Server, c.ServerType, false, 7});
    auto link = std::make_shared<TQueryLink>();
    link->Window = &door;
    link->SNTP = std::make_shared<TIdSNTP>();
    link->SNTP->ReceiveTimeout = 2000;
    link->TimeUDP = std::make_shared<TIdTimeUDP>();
    link->TimeUDP->BaseDate = 2.0;
    TGetTimeClientThread::Start(link);
    ASSERT_TRUE(Pump([&] { return door.Outcome.has_value(); }, 8s));
    EXPECT_EQ(door.Steps, c.Steps);
    EXPECT_EQ(door.Outcome->Failed, c.Failed);
    EXPECT_EQ(door.Outcome->Generation, 7u);
    EXPECT_EQ(door.Outcome->ClockOffset, c.Offset);
    link->Detach();
    ASSERT_TRUE(WorkersEnded());
  }
  TIdRequestPacer::Default().SetMinInterval(4000ms);
}

}  // namespace
