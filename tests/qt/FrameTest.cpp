// The frame drawn with Qt (offscreen): its buttons and menus reach the frame
// logic, roll-up shows only the caption bar, the notification-area icon and a
// minimize from outside, and the names screen readers get.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "CaptionBar.h"
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
  QToolButton* Button(const char* name) { return Window->TeForm1->Button(name); }

  void Trigger(const char* text) {
    QMenu* menu = Window->TeForm1->ShowSystemMenu(QPoint(0, 0));
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

TEST_F(FrameTest, TheMenusShowTheLogicsItems) {
  QMenu* menu = Window->TeForm1->ShowSystemMenu(QPoint(0, 0));
  EXPECT_EQ(Texts(menu), (std::vector<std::string>{"Mi&nimize", "Ro&llup", "Minimize to &Tray", "-", "&CloseAlt+F4"}));
  menu->close();
  EXPECT_EQ(Texts(Window->Tray->Menu()), (std::vector<std::string>{"&Restore", "-", "&CloseAlt+F4"}));
}

TEST_F(FrameTest, RollupShowsOnlyTheCaptionBarAndRestoresTheWholeWindow) {
  const QSize full = Window->size();
  Button("RollupButton")->click();
  EXPECT_EQ(State(), TFrameState::RolledUp);
  EXPECT_FALSE(Window->ClientArea->isVisible());
  EXPECT_EQ(Window->height(), TCaptionBar::Height + 2 * TCaptionBar::Border);
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

TEST_F(FrameTest, BoxesAreNamedByTheirLabelsAndFrameButtonsHaveNames) {
  EXPECT_EQ(Window->Control(TControl::TeSEdit1)->accessibleName(), "Server Time:");
  EXPECT_EQ(Window->Control(TControl::TeSEdit2)->accessibleName(), "Local Time:");
  EXPECT_EQ(Window->Control(TControl::TeSEdit3)->accessibleName(), "Difference:");
  EXPECT_EQ(Window->Control<QLabel>(TControl::TeLabel1)->buddy(), Window->Control(TControl::TeSEdit1));
  for (const char* name : {"TrayButton", "RollupButton", "MinimizeButton", "CloseButton"})
    EXPECT_FALSE(Button(name)->accessibleName().isEmpty()) << name;
}

}  // namespace
