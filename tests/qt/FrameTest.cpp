// SPDX-License-Identifier: MIT
// The frame drawn with Qt (offscreen): its buttons and menus reach the frame
// logic, roll-up shows only the caption bar, the notification-area icon and a
// minimize from outside.
#include <QAction>
#include <QMenu>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "CaptionBar.h"
#include "Form/ControlTable.h"
#include "MainWindow.h"
#include "Protocols/IdRequestPacer.h"
#include "TrayIcon.h"

using namespace KestrineTest;
using namespace std::chrono_literals;

namespace {

class FrameTest : public ::testing::Test {
protected:
  void SetUp() override {
    TIdRequestPacer::Default().SetMinInterval(0ms);
    Window = MakeWindow();
    Window->TrayAvailableTest = [this] { return TrayAvailable; };
    Window->show();
    PumpFor(20ms);
  }
  void TearDown() override {
    CloseForm(Window);
    TIdRequestPacer::Default().SetMinInterval(4000ms);
  }

  TFrameState State() { return Window->Form().TeForm1.State(); }
  QToolButton* Button(const char* name) { return Window->CaptionBar->Button(name); }

  void Trigger(const char* text) {
    QMenu* menu = Window->CaptionBar->ShowSystemMenu(QPoint(0, 0));
    for (QAction* action : menu->actions())
      if (action->text() == QString::fromLatin1(text)) {
        menu->close();
        return action->trigger();
      }
    FAIL() << "no menu item " << text;
  }

  void ExpectInTray() {
    EXPECT_EQ(State(), TFrameState::InTray);
    EXPECT_FALSE(Window->isVisible());
    EXPECT_TRUE(Window->Tray->IsShown());
  }

  bool TrayAvailable = true;
  std::unique_ptr<TMainWindow> Window;
};

std::vector<std::string> Texts(const QMenu* menu) {
  std::vector<std::string> texts;
  for (QAction* action : menu->actions())
    texts.push_back(action->isSeparator() ? "-" : ToUtf8(action->text()) + ToUtf8(action->shortcut().toString()));
  return texts;
}

std::vector<std::string> Texts(const std::vector<TMenuItem>& items) {
  std::vector<std::string> texts;
  for (const TMenuItem& item : items) texts.push_back(item.Separator ? "-" : item.Caption + item.Shortcut);
  return texts;
}

// The menus hold the logic's items for the state the window is in: separators and shortcuts too.
TEST_F(FrameTest, TheMenusShowTheLogicsItems) {
  for (const TFrameState state : {TFrameState::Normal, TFrameState::RolledUp}) {
    SCOPED_TRACE(static_cast<int>(state));
    ASSERT_EQ(State(), state);
    QMenu* menu = Window->CaptionBar->ShowSystemMenu(QPoint(0, 0));
    EXPECT_EQ(Texts(menu), Texts(TFrameLogic::SystemMenuIn(state)));
    menu->close();
    Window->Form().TeForm1.Rollup();
  }
  EXPECT_EQ(Texts(Window->Tray->Menu()), Texts(TFrameLogic::TrayMenu()));
}

TEST_F(FrameTest, RollupShowsOnlyTheCaptionBarAndRestoresTheWholeWindow) {
  const QSize full = Window->size();
  Button("RollupButton")->click();
  EXPECT_EQ(State(), TFrameState::RolledUp);
  EXPECT_FALSE(Window->ClientArea->isVisible());
  EXPECT_EQ(Window->height(), FormSpec().CaptionBarHeight + 2 * FormSpec().Border);
  Trigger("&Restore");
  EXPECT_EQ(State(), TFrameState::Normal);
  EXPECT_EQ(Window->size(), full);
  EXPECT_TRUE(Window->ClientArea->isVisible());
}

TEST_F(FrameTest, EveryWayOfMinimizingEndsInTheNotificationArea) {
  const std::function<void()> paths[] = {
      [this] { Button("TrayButton")->click(); },
      [this] { Button("MinimizeButton")->click(); },
      [this] { Trigger("Mi&nimize"); },
      [this] { Trigger("Minimize to &Tray"); },
      [this] {  // the window manager's or taskbar's request
        Window->setWindowState(Qt::WindowMinimized);
        PumpUntil([this] { return State() == TFrameState::InTray; }, 2s);
      },
  };
  int path = 0;
  for (const auto& minimize : paths) {
    SCOPED_TRACE(path++);
    minimize();
    ExpectInTray();
    emit Window->Tray->CommandChosen(TFrameCommand::Restore);  // a double click on the icon, or its "&Restore"
    EXPECT_EQ(State(), TFrameState::Normal);
    EXPECT_TRUE(Window->isVisible());
    EXPECT_FALSE(Window->Tray->IsShown());
    EXPECT_FALSE(Window->windowState() & Qt::WindowMinimized);
  }
}

TEST_F(FrameTest, WithoutANotificationAreaMinimizingIsOrdinary) {
  TrayAvailable = false;
  Button("MinimizeButton")->click();
  EXPECT_EQ(State(), TFrameState::Normal);
  EXPECT_FALSE(Window->Tray->IsShown());
  EXPECT_TRUE(Window->windowState() & Qt::WindowMinimized);
}

}  // namespace
