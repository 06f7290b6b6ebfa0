// SPDX-License-Identifier: MIT
#include "FakeFormView.h"

#include <algorithm>
#include <thread>

#include <gtest/gtest.h>

#include "Core/IdSync.h"
#include "Form/ControlTable.h"
#include "Support/TestHelpers.h"
#include "Sync/GetTimeClientThread.h"
#include "TimeText/TestFormats.h"

namespace KestrineTest {
namespace {

FakeWindow* GLatest = nullptr;  // its timers run while the tests pump

}  // namespace

FakeFormView::FakeFormView() {
  // The controls as a new window has them.
  for (const TControlSpec& spec : ControlTable()) {
    TControlState& state = At(spec.Id);
    state.Text = spec.Caption;
    state.FontColor = std::max(spec.FontColor, 0);
    state.Checked = spec.Checked;
    state.ItemIndex = spec.Items.empty() ? -1 : 0;
  }
}

bool FakeFormView::HasShown(TControl control, const std::string& text) const {
  const auto& shown = At(control).Shown;
  return std::find(shown.begin(), shown.end(), text) != shown.end();
}

void FakeFormView::SetTimer(TTimerId timer, std::uint32_t intervalMs, bool enabled) {
  TTimerState& state = Timer(timer);
  state.Interval = intervalMs;
  state.Enabled = enabled;
  state.Due = std::chrono::steady_clock::now() + std::chrono::milliseconds(intervalMs);
  if (enabled) ++state.Starts;
}

void FakeFormView::FireDueTimers() {
  if (Form == nullptr) return;
  const auto now = std::chrono::steady_clock::now();
  for (const TTimerId id : {TTimerId::Timer1, TTimerId::SyncTimer}) {
    TTimerState& state = Timer(id);
    if (!state.Enabled || now < state.Due) continue;
    state.Due = now + std::chrono::milliseconds(state.Interval);
    Form->TimerFired(id);
  }
}

void FakeFormView::ShowErrorBox(const std::string& text) {
  ErrorBoxes.push_back(text);
  if (OnErrorBox) OnErrorBox(text);
}

void FakeFormView::HideWindow() {
  FrameCalls.push_back("hide");
  Visible = false;
}

void FakeFormView::ShowWindow(const TBounds* bounds) {
  if (Minimized) SystemRestores();
  FrameCalls.push_back(bounds != nullptr ? "show at bounds" : "show");
  if (bounds != nullptr) Bounds = *bounds;
  Visible = true;
}

void FakeFormView::MinimizeOrdinary() {
  FrameCalls.push_back("minimize");
  Minimized = true;
}

void FakeFormView::Unminimize() {
  FrameCalls.push_back("unminimize");
  SystemRestores();
}

void FakeFormView::SystemMinimizes() {
  Minimized = true;
  Form->MinimizedBySystem();
}

void FakeFormView::SystemRestores() {
  Minimized = false;
  Form->TeForm1.NoLongerMinimized();
}

void FakeFormView::SetRolledUp(bool rolledUp) {
  FrameCalls.push_back(rolledUp ? "roll up" : "unroll");
  RolledUp = rolledUp;
}

bool FakeFormView::ShowTrayIcon(const std::string& hint) {
  FrameCalls.push_back("icon " + hint);
  TrayIconShown = !TrayIconAddFails;
  return TrayIconShown;
}

void FakeFormView::RemoveTrayIcon() {
  FrameCalls.push_back("no icon");
  TrayIconShown = false;
}

void FakeFormView::CloseWindow() {
  FrameCalls.push_back("close");
  Closed = true;
}

// As the system's controls do: a check box toggles; a radio button becomes
// checked and the others of its parent unchecked. The view reports the click
// alone, also one that changed nothing.
void FakeFormView::Click(TControl control) {
  const TControlSpec& spec = ControlSpec(control);
  if (spec.Kind == TControlKind::Button) {
    Form->ButtonClicked(control);
    return;
  }
  if (spec.Kind == TControlKind::RadioButton) {
    for (const TControlSpec& other : ControlTable())
      if (other.Kind == TControlKind::RadioButton && other.Parent == spec.Parent) At(other.Id).Checked = false;
    At(control).Checked = true;
  } else {
    At(control).Checked = !At(control).Checked;
  }
  Form->ControlChanged(control);
}

void FakeFormView::Select(TControl list, int index) {
  At(list).ItemIndex = index;
  Form->ItemSelected(list);
}

void FakeFormView::Tick() { Form->TimerFired(TTimerId::Timer1); }

FakeWindow::FakeWindow(TSettingsPaths settings, std::string exePath) {
  IdSync::SetMainThread();
  TFormOptions options;
  options.ExecutablePath = std::move(exePath);
  options.Settings = std::move(settings);
  options.UserFormat = CFormatSettings();
  options.UsFormat = UsFormatSettings();
  Form = std::make_unique<TForm1>(View, std::move(options));
  View.BindForm(Form.get());
  GLatest = this;
}

FakeWindow::~FakeWindow() {
  View.BindForm(nullptr);
  if (Form) CloseForm(Form);
  if (GLatest == this) GLatest = nullptr;
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  return PollUntil(
      [&] {
        IdSync::RunQueued();
        if (GLatest != nullptr && GLatest->Form) GLatest->View.FireDueTimers();
        return done();
      },
      timeout, [] { IdSync::WaitPumping([] { return false; }, std::chrono::milliseconds(1)); });
}

void PumpFor(std::chrono::milliseconds duration) {
  PumpUntil([] { return false; }, duration);
}

bool QueriesEnded(std::chrono::milliseconds timeout) {
  return PumpUntil([] { return TGetTimeClientThread::RunningCount() == 0; }, timeout);
}

void CloseForm(std::unique_ptr<TForm1>& form) {
  form.reset();
  EXPECT_TRUE(QueriesEnded(std::chrono::seconds(15))) << "a query worker did not end after its window was destroyed";
}

}  // namespace KestrineTest
