// The window's frame offscreen: roll-up, the system menu in each state, every way
// to the notification area and back, and the error box's text rule.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "ErrorBox.h"
#include "Form1.h"
#include "Frame.h"
#include "Protocols/IdRequestPacer.h"
#include "TrayIcon.h"

using namespace KestrineTest;
using namespace std::chrono_literals;

namespace {

class FrameTest : public ::testing::Test {
protected:
  void SetUp() override {
    TIdRequestPacer::Default().SetMinInterval(0ms);
    Form = std::make_unique<TForm1>();
    Form->TeForm1->TrayAvailable = [this] { return TrayAvailable; };
    Form->show();
    PumpFor(20ms);
  }
  void TearDown() override { CloseForm(Form); }

  TeFrame& Frame() { return *Form->TeForm1; }

  std::vector<std::string> MenuTexts() {
    std::vector<std::string> texts;
    for (QAction* action : Frame().SystemMenu()->actions()) {
      std::string text = action->isSeparator() ? "-" : action->text().toStdString();
      if (!action->shortcut().isEmpty()) text += " (" + action->shortcut().toString().toStdString() + ")";
      texts.push_back(text);
    }
    return texts;
  }

  void Trigger(const char* text) {
    for (QAction* action : Frame().SystemMenu()->actions())
      if (action->text() == QString::fromLatin1(text)) return action->trigger();
    FAIL() << "no menu item " << text;
  }

  void ExpectInTray() {
    EXPECT_EQ(Frame().State(), TFrameState::InTray);
    EXPECT_FALSE(Form->isVisible());
    EXPECT_TRUE(Frame().Tray()->IsShown());
  }

  bool TrayAvailable = true;
  std::unique_ptr<TForm1> Form;
};

TEST_F(FrameTest, TheSystemMenuOffersWhatEachStateAllows) {
  using Items = std::vector<std::string>;
  EXPECT_EQ(MenuTexts(), (Items{"Mi&nimize", "Ro&llup", "Minimize to &Tray", "-", "&Close (Alt+F4)"}));
  Frame().Rollup();
  EXPECT_EQ(MenuTexts(), (Items{"&Restore", "Mi&nimize", "Minimize to &Tray", "-", "&Close (Alt+F4)"}));
  Frame().MoveToTray();
  EXPECT_EQ(MenuTexts(), (Items{"&Restore", "-", "&Close (Alt+F4)"}));
  std::vector<std::string> tray;
  for (QAction* action : Frame().Tray()->Menu()->actions())
    tray.push_back(action->isSeparator() ? "-" : action->text().toStdString() + action->shortcut().toString().toStdString());
  EXPECT_EQ(tray, (Items{"&Restore", "-", "&CloseAlt+F4"}));
}

TEST_F(FrameTest, RollupShowsOnlyTheCaptionBarAndRestoresTheWholeWindow) {
  const QSize full = Form->size();
  Frame().Button("RollupButton")->click();
  EXPECT_EQ(Frame().State(), TFrameState::RolledUp);
  EXPECT_FALSE(Form->ClientArea->isVisible());
  EXPECT_EQ(Form->height(), TeFrame::CaptionHeight + 2 * TeFrame::Border);
  Trigger("&Restore");
  EXPECT_EQ(Frame().State(), TFrameState::Normal);
  EXPECT_EQ(Form->size(), full);
  EXPECT_TRUE(Form->ClientArea->isVisible());
}

TEST_F(FrameTest, EveryWayOfMinimizingEndsInTheNotificationArea) {
  const std::function<void()> paths[] = {
      [this] { Frame().Button("TrayButton")->click(); },
      [this] { Frame().Button("MinimizeButton")->click(); },
      [this] { Trigger("Mi&nimize"); },
      [this] { Trigger("Minimize to &Tray"); },
      [this] {  // the window manager's or taskbar's request
        Form->setWindowState(Qt::WindowMinimized);
        PumpUntil([this] { return Frame().State() == TFrameState::InTray; }, 2s);
      },
  };
  int path = 0;
  for (const auto& minimize : paths) {
    SCOPED_TRACE(path++);
    minimize();
    ExpectInTray();
    Trigger("&Restore");
    EXPECT_EQ(Frame().State(), TFrameState::Normal);
    EXPECT_TRUE(Form->isVisible());
    EXPECT_FALSE(Frame().Tray()->IsShown());
    EXPECT_FALSE(Form->windowState() & Qt::WindowMinimized);
  }
}

TEST_F(FrameTest, ARolledUpWindowComesBackRolledUpAndTheWorkGoesOnWhileHidden) {
  Frame().Rollup();
  Frame().Button("MinimizeButton")->click();
  ExpectInTray();
  EXPECT_TRUE(Form->Timer1->isActive()) << "the display keeps ticking while hidden";
  emit Frame().Tray()->RestoreRequested();  // a double click on the icon, or its "&Restore"
  EXPECT_EQ(Frame().State(), TFrameState::RolledUp);
  EXPECT_TRUE(Form->isVisible());
  EXPECT_FALSE(Form->ClientArea->isVisible());
}

TEST_F(FrameTest, WithoutANotificationAreaMinimizingIsOrdinary) {
  TrayAvailable = false;
  Frame().Button("MinimizeButton")->click();
  EXPECT_EQ(Frame().State(), TFrameState::Normal);
  EXPECT_FALSE(Frame().Tray()->IsShown());
  EXPECT_TRUE(Form->windowState() & Qt::WindowMinimized);
}

TEST_F(FrameTest, BoxesAreNamedByTheirLabelsAndFrameButtonsHaveNames) {
  EXPECT_EQ(Form->TeSEdit1->accessibleName(), "Server Time:");
  EXPECT_EQ(Form->TeSEdit2->accessibleName(), "Local Time:");
  EXPECT_EQ(Form->TeSEdit3->accessibleName(), "Difference:");
  EXPECT_EQ(Form->TeLabel1->buddy(), Form->TeSEdit1);
  for (const char* name : {"TrayButton", "RollupButton", "MinimizeButton", "CloseButton"})
    EXPECT_FALSE(Frame().Button(name)->accessibleName().isEmpty()) << name;
}

TEST(ErrorBoxTest, AFullStopIsAddedWhenTheLastCharacterSortsAboveIt) {
  const std::pair<const char*, const char*> cases[] = {
      {"invalid time error", "invalid time error."}, {"Done.", "Done."}, {"Stop!", "Stop!"},
      {"trailing ", "trailing "},                    {"", ""},           {"value 7", "value 7."},
      {"path/", "path/."},
  };
  for (const auto& [message, shown] : cases) EXPECT_EQ(ErrorBoxText(message), shown) << message;
}

}  // namespace
