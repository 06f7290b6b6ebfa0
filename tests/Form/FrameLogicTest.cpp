// SPDX-License-Identifier: MIT
// The frame's behaviour on a fake window: roll-up, the system menu in each state,
// every way to the notification area and back, the caption bar icon's clicks,
// and the error box's text rule.
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "FakeFormView.h"
#include "Form/ErrorBox.h"
#include "Form/FrameLogic.h"
#include "Protocols/IdRequestPacer.h"
#include "Support/FakeClock.h"

using namespace KestrineTest;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> Texts(const std::vector<TMenuItem>& items) {
  std::vector<std::string> texts;
  for (const TMenuItem& item : items)
    texts.push_back(item.Separator ? "-" : item.Caption + (item.Shortcut.empty() ? "" : " (" + item.Shortcut + ")"));
  return texts;
}

class FrameLogicTest : public ::testing::Test {
protected:
  void SetUp() override { TIdRequestPacer::Default().SetMinInterval(0ms); }
  void TearDown() override { TIdRequestPacer::Default().SetMinInterval(4000ms); }

  TFrameLogic& Frame() { return Window.Form->TeForm1; }
  FakeFormView& View() { return Window.View; }
  void Choose(const char* caption) {
    for (const TMenuItem& item : Frame().SystemMenu())
      if (!item.Separator && item.Caption == caption) return Window.Form->FrameCommand(item.Command);
    FAIL() << "no menu item " << caption;
  }

  FakeWindow Window;
};

TEST_F(FrameLogicTest, TheSystemMenuOffersWhatEachStateAllows) {
  using Items = std::vector<std::string>;
  EXPECT_EQ(Texts(Frame().SystemMenu()), (Items{"Mi&nimize", "Ro&llup", "Minimize to &Tray", "-", "&Close (Alt+F4)"}));
  Choose("Ro&llup");
  EXPECT_EQ(Texts(Frame().SystemMenu()), (Items{"&Restore", "Mi&nimize", "Minimize to &Tray", "-", "&Close (Alt+F4)"}));
  Choose("Minimize to &Tray");
  EXPECT_EQ(Texts(Frame().SystemMenu()), (Items{"&Restore", "-", "&Close (Alt+F4)"}));
  EXPECT_EQ(Texts(TFrameLogic::TrayMenu()), (Items{"&Restore", "-", "&Close (Alt+F4)"}));
  Choose("&Close");
  EXPECT_TRUE(View().Closed);
}

TEST_F(FrameLogicTest, RollupAndRestoreAndTheRollupButtonBothWays) {
  Choose("Ro&llup");
  EXPECT_EQ(Frame().State(), TFrameState::RolledUp);
  EXPECT_TRUE(View().RolledUp);
  Choose("&Restore");
  EXPECT_EQ(Frame().State(), TFrameState::Normal);
  EXPECT_FALSE(View().RolledUp);
  Window.Form->FrameCommand(TFrameCommand::ToggleRollup);
  EXPECT_TRUE(View().RolledUp);
  Window.Form->FrameCommand(TFrameCommand::ToggleRollup);
  EXPECT_FALSE(View().RolledUp);
}

TEST_F(FrameLogicTest, EveryWayOfMinimizingEndsInTheNotificationAreaAndRestoreReturnsTheBounds) {
  // The buttons and menu items (Minimize, Minimize to Tray) and a minimize from
  // outside (TeForm1Minimize) all arrive here.
  const std::function<void()> paths[] = {
      [this] { Window.Form->FrameCommand(TFrameCommand::Minimize); },
      [this] { Window.Form->FrameCommand(TFrameCommand::MinimizeToTray); },
      [this] { Window.Form->TeForm1Minimize(); },
  };
  int path = 0;
  for (const auto& minimize : paths) {
    SCOPED_TRACE(path++);
    View().FrameCalls.clear();
    View().Bounds = {400 + path, 300, 354, 414};
    minimize();
    EXPECT_EQ(Frame().State(), TFrameState::InTray);
    EXPECT_EQ(View().FrameCalls, (std::vector<std::string>{"icon Kestrine", "hide"}));
    View().Bounds = {0, 0, 354, 414};                   // hidden windows may be moved by the desktop
    minimize();                                         // a second minimize changes nothing
    Window.Form->FrameCommand(TFrameCommand::Restore);  // "&Restore", or a double click on the icon
    EXPECT_EQ(Frame().State(), TFrameState::Normal);
    EXPECT_EQ(View().FrameCalls, (std::vector<std::string>{"icon Kestrine", "hide", "show at bounds", "no icon"}));
    EXPECT_EQ(View().Bounds, (TBounds{400 + path, 300, 354, 414}));
  }
}

TEST_F(FrameLogicTest, ARolledUpWindowComesBackRolledUpAndTheWorkGoesOnWhileHidden) {
  Choose("Ro&llup");
  Choose("Mi&nimize");
  EXPECT_EQ(Frame().State(), TFrameState::InTray);
  EXPECT_TRUE(View().Timer(TTimerId::Timer1).Enabled) << "the display keeps ticking while hidden";
  Window.Form->FrameCommand(TFrameCommand::Restore);
  EXPECT_EQ(Frame().State(), TFrameState::RolledUp);
  EXPECT_TRUE(View().RolledUp);
  EXPECT_TRUE(View().Visible);
}

TEST_F(FrameLogicTest, WithoutANotificationAreaMinimizingIsOrdinary) {
  View().HasTray = false;
  Choose("Mi&nimize");
  EXPECT_EQ(Frame().State(), TFrameState::Normal);
  EXPECT_EQ(View().FrameCalls, std::vector<std::string>{"minimize"});
  EXPECT_FALSE(View().TrayIconShown);
}

// The taskbar's or a window manager's minimize goes to the notification area
// too; one that the frame asked for itself stays until the window is restored.
TEST_F(FrameLogicTest, AMinimizeFromOutsideGoesToTheNotificationAreaUnlessTheFrameAskedForIt) {
  using Calls = std::vector<std::string>;
  View().SystemMinimizes();
  EXPECT_EQ(Frame().State(), TFrameState::InTray);
  EXPECT_EQ(View().FrameCalls, (Calls{"unminimize", "icon Kestrine", "hide"}));
  Window.Form->FrameCommand(TFrameCommand::Restore);

  View().HasTray = false;
  View().FrameCalls.clear();
  Choose("Mi&nimize");
  View().SystemMinimizes();  // the notice of the frame's own minimize
  View().HasTray = true;
  View().SystemMinimizes();
  Choose("Mi&nimize");
  EXPECT_EQ(View().FrameCalls, Calls{"minimize"}) << "minimized, it stays so";
  View().SystemRestores();  // from the taskbar
  View().SystemMinimizes();
  EXPECT_EQ(Frame().State(), TFrameState::InTray);
}

// A shell that is slow at log-in refuses the icon: the window stays until the
// icon comes after all, or is minimized the ordinary way when it never does.
TEST_F(FrameLogicTest, TheWindowHidesOnlyOnceTheIconIsThere) {
  View().TrayIconAddFails = true;
  Choose("Minimize to &Tray");
  EXPECT_EQ(View().FrameCalls, std::vector<std::string>{"icon Kestrine"});
  EXPECT_TRUE(View().Visible);
  Frame().TrayIconAdded();
  EXPECT_FALSE(View().Visible);
  Window.Form->FrameCommand(TFrameCommand::Restore);

  Choose("Ro&llup");
  View().FrameCalls.clear();
  Choose("Minimize to &Tray");
  Frame().TrayIconFailed();
  EXPECT_EQ(View().FrameCalls, (std::vector<std::string>{"icon Kestrine", "minimize"}));
  EXPECT_EQ(Frame().State(), TFrameState::RolledUp);
  Frame().TrayIconAdded();  // too late: nothing hides the window any more
  EXPECT_TRUE(View().Visible);
}

TEST_F(FrameLogicTest, TheIconGoesWithTheWindowAndWithTheSession) {
  Choose("Minimize to &Tray");
  ASSERT_TRUE(View().TrayIconShown);
  Window.Form->SessionEnding();
  EXPECT_FALSE(View().TrayIconShown);
  Choose("&Restore");
  Choose("Minimize to &Tray");
  CloseForm(Window.Form);
  EXPECT_FALSE(View().TrayIconShown);
}

// A refusal box waits in its own message loop, where the window's thread runs
// any event: here the notification area's "&Close" and a WM_CLOSE from outside,
// which a front-end turns into destroying the window when CloseQuery allows.
// The logic still runs below the box, so the close waits for it to end, and
// then saves. Under AddressSanitizer a close carried out inside the box shows
// as a write into freed memory.
TEST(SafeCloseTest, ACloseThatArrivesWhileAnErrorBoxIsOpenIsCarriedOutAfterIt) {
  const auto folder = std::filesystem::temp_directory_path() / "kestrine-safe-close";
  std::filesystem::create_directories(folder);
  const std::string settings = (folder / "settings.ini").string();
  std::filesystem::remove(settings);
  FakeClock clock;
  clock.Refuse(1, "Operation not permitted");
  {
    FakeWindow window(TSettingsPaths{settings, settings});
    auto closeIfAllowed = [&] {
      if (window.Form && window.Form->CloseQuery()) CloseForm(window.Form);
    };
    int boxes = 0;
    window.View.OnErrorBox = [&](const std::string&) {
      ++boxes;
      window.Form->FrameCommand(TFrameCommand::Close);
      closeIfAllowed();
      closeIfAllowed();  // a second close changes nothing
      EXPECT_NE(window.Form, nullptr) << "the window was destroyed under its own error box";
    };
    window.View.Type(TControl::edtSyncTime, "7");
    window.View.FrameCalls.clear();
    window.View.Click(TControl::TeButton1);
    ASSERT_EQ(boxes, 1);
    // Asked for again once the box has gone: the front-end's close then goes through.
    EXPECT_EQ(window.View.FrameCalls, (std::vector<std::string>{"close", "close"}));
    closeIfAllowed();
    EXPECT_EQ(window.Form, nullptr);
  }
  std::stringstream text;
  text << std::ifstream(settings).rdbuf();  // closed before the removal, which Windows refuses on an open file
  EXPECT_NE(text.str().find("edtSyncTime=7"), std::string::npos) << text.str();
  std::filesystem::remove_all(folder);
}

// The caption bar's icon in both views: presses and double clicks, at their
// times in ms, with a double-click time of 500.
TEST(IconClicksTest, APressOpensTheMenuAndASecondOneWithinTheDoubleClickTimeCloses) {
  using enum TIconClicks::TAction;
  struct TClick {
    std::uint64_t At;  // 0: a double click
    bool MenuShown;
    TIconClicks::TAction Action;
  };
  const struct {
    const char* What;
    std::vector<TClick> Clicks;
  } cases[] = {
      {"a double click at the menu", {{100, false, OpenMenu}, {0, true, CloseWindow}}},
      {"a second press at the menu", {{100, false, OpenMenu}, {400, true, CloseWindow}}},
      {"at the double-click time", {{100, false, OpenMenu}, {600, true, CloseWindow}}},
      {"a second press at the icon (the menu closed meanwhile)", {{100, false, OpenMenu}, {300, false, CloseWindow}}},
      {"a later press only closes the menu, one after opens it",
       {{100, false, OpenMenu}, {700, true, CloseMenu}, {800, false, OpenMenu}, {900, true, CloseWindow}}},
      {"closing forgets the press", {{100, false, OpenMenu}, {0, false, CloseWindow}, {200, false, OpenMenu}}},
  };
  for (const auto& c : cases) {
    TIconClicks icon;
    int step = 0;
    for (const TClick& click : c.Clicks) {
      const TIconClicks::TAction action =
          click.At == 0 ? icon.DoubleClicked() : icon.Pressed(click.At, 500, click.MenuShown);
      EXPECT_EQ(action, click.Action) << c.What << ", click " << step++;
    }
  }
}

TEST(ErrorBoxTest, AFullStopIsAddedWhenTheLastCharacterSortsAboveIt) {
  const std::pair<const char*, const char*> cases[] = {
      {"invalid time error", "invalid time error."},
      {"Done.", "Done."},
      {"Stop!", "Stop!"},
      {"trailing ", "trailing "},
      {"", ""},
      {"value 7", "value 7."},
      {"path/", "path/."},
  };
  for (const auto& [message, shown] : cases) EXPECT_EQ(ErrorBoxText(message), shown) << message;
}

// A later start of the program brings the window back whole and in front,
// from wherever it is.
TEST_F(FrameLogicTest, AnotherStartBringsTheWindowBackWhole) {
  const struct {
    const char* Where;
    std::vector<TFrameCommand> Steps;
  } cases[] = {
      {"shown", {}},
      {"rolled up", {TFrameCommand::Rollup}},
      {"in the notification area", {TFrameCommand::MinimizeToTray}},
      {"rolled up in the notification area", {TFrameCommand::Rollup, TFrameCommand::MinimizeToTray}},
  };
  for (const auto& c : cases) {
    FakeWindow window;
    for (const TFrameCommand step : c.Steps) window.Form->FrameCommand(step);
    window.View.FrameCalls.clear();
    window.Form->AnotherStart();
    EXPECT_EQ(window.Form->TeForm1.State(), TFrameState::Normal) << c.Where;
    EXPECT_FALSE(window.View.RolledUp) << c.Where;
    EXPECT_TRUE(window.View.Visible) << c.Where;
    EXPECT_FALSE(window.View.TrayIconShown) << c.Where;
    ASSERT_FALSE(window.View.FrameCalls.empty()) << c.Where;
    EXPECT_EQ(window.View.FrameCalls.back(), "show") << c.Where << ": not brought to the front";
    CloseForm(window.Form);
  }
}

}  // namespace
