// SPDX-License-Identifier: MIT
#pragma once
// A fake window whose first query, to a fake server on loopback, has already
// succeeded, and a fake clock; shared by the portable and the Linux-only cases.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "Fakes/FakeUdpServer.h"
#include "Form/FakeFormView.h"
#include "Form/Form1.h"
#include "Protocols/IdRequestPacer.h"
#include "Support/FakeClock.h"

namespace KestrineTest {

using namespace std::chrono_literals;

class ClockDisplayTest : public ::testing::Test {
protected:
  void SetUp() override {
    TIdRequestPacer::Default().SetMinInterval(0ms);
    Window = std::make_unique<FakeWindow>(TSettingsPaths{}, "/opt/kestrine/kestrine");
    View().Type(TControl::edtServer, "127.0.0.1");
    View().Click(TControl::ckCustomServer);
    ASSERT_TRUE(QueriesEnded());
    View().Tick();
    ASSERT_EQ(Text(TControl::TeSEdit3), "time synchronized");
  }
  void TearDown() override {
    Window.reset();
    TIdRequestPacer::Default().SetMinInterval(4000ms);
  }

  FakeFormView& View() { return Window->View; }
  TForm1& Form() { return *Window->Form; }
  std::string Text(TControl control) { return View().Text(control); }
  int Color(TControl control) { return View().At(control).FontColor; }

  // "Refresh" with the local clock this far ahead of the server's (behind when
  // negative), until the query has ended. Half a second over the whole seconds
  // keeps the measured offset clear of the exchange's own time.
  void Measure(std::int64_t aheadMs) {
    Clock.FollowSystem();
    Clock.Advance(aheadMs);
    View().Click(TControl::TeButton2);
    ASSERT_TRUE(QueriesEnded());
  }

  FakeUdpServer Server{"127.0.0.1", 123, SntpHandler(0.0)};
  FakeClock Clock;
  std::unique_ptr<FakeWindow> Window;
};

}  // namespace KestrineTest
