// SPDX-License-Identifier: MIT
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Form/Form1.h"
#include "Form/FormView.h"

namespace KestrineTest {

// The window as a test sees it: every control's state in plain fields, the
// timers' settings, the error boxes that opened (closed at once with OK), and the
// frame's operations in order. The user acts through the methods below, which
// change the state first and then tell the logic, as a front-end does.
class FakeFormView : public IFormView {
public:
  FakeFormView();

  struct TControlState {
    std::string Text;
    int FontColor = 0;
    bool Enabled = true;
    bool Checked = false;
    int ItemIndex = -1;
    std::vector<std::string> Shown;  // every text written, in order
  };
  struct TTimerState {
    std::uint32_t Interval = 0;
    bool Enabled = false;
    int Starts = 0;  // how often the period was started afresh
    std::chrono::steady_clock::time_point Due;
  };

  std::string Text(TControl control) const override { return At(control).Text; }
  void SetText(TControl control, const std::string& text) override {
    At(control).Text = text;
    At(control).Shown.push_back(text);
  }
  // Whether the control has shown the text since the last ForgetShown.
  bool HasShown(TControl control, const std::string& text) const;
  void ForgetShown(TControl control) { At(control).Shown.clear(); }
  void SetFontColor(TControl control, int color) override { At(control).FontColor = color; }
  void SetEnabled(TControl control, bool enabled) override { At(control).Enabled = enabled; }
  bool Checked(TControl control) const override { return At(control).Checked; }
  void SetChecked(TControl control, bool checked) override { At(control).Checked = checked; }
  int ItemIndex(TControl control) const override { return At(control).ItemIndex; }
  void SetItemIndex(TControl control, int index) override { At(control).ItemIndex = index; }
  void SetTimer(TTimerId timer, std::uint32_t intervalMs, bool enabled) override;
  void ShowErrorBox(const std::string& text) override;
  bool TrayAvailable() override { return HasTray; }
  TBounds WindowBounds() override { return Bounds; }
  void HideWindow() override;
  void ShowWindow(const TBounds* bounds) override;
  void MinimizeOrdinary() override;
  void Unminimize() override;
  void SetRolledUp(bool rolledUp) override;
  bool ShowTrayIcon(const std::string& hint) override;
  void RemoveTrayIcon() override;
  void CloseWindow() override;

  TControlState& At(TControl control) { return Controls[control]; }
  const TControlState& At(TControl control) const { return Controls.at(control); }
  TTimerState& Timer(TTimerId timer) { return Timers[timer]; }

  // The user's actions, reaching the logic as a front-end forwards them.
  void Type(TControl control, const std::string& text) { At(control).Text = text; }
  void Click(TControl control);           // a button, or a check box or radio button
  void Select(TControl list, int index);  // an item of the list
  void Tick();                            // Timer1
  void SystemMinimizes();                 // the taskbar or a window manager
  void SystemRestores();
  void BindForm(TForm1* form) { Form = form; }
  // Fires the timers whose period has passed, as an event loop would.
  void FireDueTimers();

  std::map<TControl, TControlState> Controls;
  std::map<TTimerId, TTimerState> Timers;
  std::vector<std::string> ErrorBoxes;
  std::function<void(const std::string&)> OnErrorBox;  // runs while the box is "open"
  std::vector<std::string> FrameCalls;
  bool HasTray = true;
  bool Visible = true;
  bool Minimized = false;
  bool RolledUp = false;
  bool TrayIconShown = false;
  bool TrayIconAddFails = false;  // as a slow shell at log-in refuses it
  bool Closed = false;
  TBounds Bounds{328, 176, 354, 414};
  TForm1* Form = nullptr;
};

// A window's logic on a fake view, as the program makes it: a settings file of
// its own (none when empty), the C locale's formats.
struct FakeWindow {
  explicit FakeWindow(TSettingsPaths settings = {}, std::string exePath = "/opt/kestrine/kestrine");
  ~FakeWindow();
  FakeFormView View;
  std::unique_ptr<TForm1> Form;
};

// Runs the window's-thread steps, and the timers of the fake window made last,
// until done() holds; false on time-out.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
void PumpFor(std::chrono::milliseconds duration);
// Pumps until no query worker runs: the last one's outcome has been applied.
bool QueriesEnded(std::chrono::milliseconds timeout = std::chrono::seconds(5));
// Destroys the window's logic as the program does at exit, then waits (pumping)
// for every query worker to end, so that the next test starts clean.
void CloseForm(std::unique_ptr<TForm1>& form);

}  // namespace KestrineTest
