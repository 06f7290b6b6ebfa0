// A refusal by the clock service's policy, as the window shows it: one box
// with the service's reason and no advice to install the service, which is
// there; the periodic synchronization does not bring it back.
#include "Form/ClockDisplayFixture.h"
#include "Platform/HelperRequest.h"

namespace KestrineTest {
namespace {

TEST_F(ClockDisplayTest, ARefusalByTheClockPolicyIsExplainedOnce) {
  Clock.Refuse(HelperRequest::NotAuthorized, HelperRequest::RefusalText(HelperRequest::NotAuthorized));
  Form->FClockOffset = 5;
  for (int period = 0; period < 3; ++period) Form->TimerFired(TTimerId::SyncTimer);
  ASSERT_EQ(View().ErrorBoxes.size(), 1u);
  EXPECT_EQ(View().ErrorBoxes[0],
            "The system clock could not be set: Kestrine may set the clock only for the user at this computer's "
            "screen; an administrator can allow more (see the README)");
  View().Click(TControl::TeButton1);  // asked by the user: answered again
  EXPECT_EQ(View().ErrorBoxes.size(), 2u);
}

}  // namespace
}  // namespace KestrineTest
