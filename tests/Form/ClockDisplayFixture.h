#pragma once
// A fake window whose first query, to a fake server on loopback, has already
// succeeded, and a fake clock; shared by the portable and the Linux-only cases.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "Fakes/FakeUdpServer.h"
#include "Form/Form1.h"
#include "Protocols/IdRequestPacer.h"
#include "Support/FakeClock.h"
#include "Form/FakeFormView.h"

namespace KestrineTest {

using namespace std::chrono_literals;

class ClockDisplayTest : public ::testing::Test {
protected:
  void SetUp() override {
    TIdRequestPacer::Default().SetMinInterval(0ms);
    Window = std::make_unique<FakeWindow>(TSettingsPaths{}, "/opt/kestrine/kestrine");
    Form = Window->Form.get();
    View().At(TControl::edtServer).Text = "127.0.0.1";
    View().Click(TControl::ckCustomServer);
    ASSERT_TRUE(PumpUntil([this] { return !Form->FQueryBusy; }, 5s));
    ASSERT_FALSE(Form->FQueryFailed);
  }
  void TearDown() override {
    Window.reset();
    TIdRequestPacer::Default().SetMinInterval(4000ms);
  }

  FakeFormView& View() { return Window->View; }
  std::string Text(TControl control) { return View().Text(control); }
  int Color(TControl control) { return View().At(control).FontColor; }

  FakeUdpServer Server{"127.0.0.1", 123, SntpHandler(0.0)};
  FakeClock Clock;
  std::unique_ptr<FakeWindow> Window;
  TForm1* Form = nullptr;
};

}  // namespace KestrineTest
