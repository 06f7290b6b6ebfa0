// SPDX-License-Identifier: MIT
#pragma once
// The controller on a fake window, against fake servers inside the test's
// private network namespace; shared by the portable and the Linux-only cases.
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Core/IdSync.h"
#include "Form/FakeFormView.h"
#include "Form/Form1.h"
#include "Protocols/IdRequestPacer.h"
#include "Support/TestHelpers.h"
#include "Sync/GetTimeClientThread.h"

namespace KestrineTest {

using namespace std::chrono_literals;

class ControllerTest : public ::testing::Test {
protected:
  void SetUp() override { TIdRequestPacer::Default().SetMinInterval(0ms); }
  void TearDown() override {
    Window.reset();
    TIdRequestPacer::Default().SetMinInterval(4000ms);
  }

  void Create() { Window = std::make_unique<FakeWindow>(); }
  FakeFormView& View() { return Window->View; }
  std::string Text(TControl control) { return View().Text(control); }

  // A window whose first query asks a custom server (set before the query's first step runs).
  void CreateCustom(const std::string& address, int protocol) {
    Create();
    View().Type(TControl::edtServer, address);
    View().At(TControl::cbSeverType).ItemIndex = protocol;
    View().Click(TControl::ckCustomServer);
  }

  // The Difference box once the last query has ended, at the next tick.
  std::string DifferenceShown() {
    if (!QueriesEnded()) return "the query did not end";
    View().Tick();
    return Text(TControl::TeSEdit3);
  }

  // Every text the label shows while the query runs, in order.
  std::vector<std::string> LabelsUntilDone() {
    // One step of the worker at a time, so that no caption is missed.
    std::vector<std::string> labels;
    PollUntil(
        [&] {
          IdSync::RunQueued();
          const std::string now = Text(TControl::labCurServer);
          if (labels.empty() || labels.back() != now) labels.push_back(now);
          return TGetTimeClientThread::RunningCount() == 0;
        },
        10s, [] { std::this_thread::sleep_for(100us); });
    return labels;
  }

  std::unique_ptr<FakeWindow> Window;
};

}  // namespace KestrineTest
