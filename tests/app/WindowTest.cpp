// The window itself: its controls as a new window has them, and the Time server
// switched from its check box.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "Form1.h"

using namespace KestrineTest;
using namespace std::chrono_literals;

namespace {

QString Caption(QWidget* control) {
  if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
  if (auto* edit = qobject_cast<QLineEdit*>(control)) return edit->text();
  if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
  if (auto* group = qobject_cast<QGroupBox*>(control)) return group->title();
  return {};
}

// The window as start-up leaves it without a settings file (the test folder has none).
TEST(WindowTest, EveryControlHasItsNameCaptionPlaceAndInitialState) {
  TForm1 form;
  form.Timer1->stop();
  EXPECT_EQ(form.windowTitle(), "Kestrine ");
  EXPECT_EQ(form.ClientArea->size(), QSize(352, 392));
  EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "the window has a fixed size";

  struct Control {
    const char* Name;
    const char* Caption;
    QRect Place;
  };
  const Control controls[] = {
      {"TeLabel1", "Server Time:", {8, 24, 0, 0}},
      {"TeSEdit1", "", {72, 24, 233, 21}},
      {"TeLabel2", "Local Time:", {8, 56, 0, 0}},
      {"TeLabel3", "Difference:", {8, 88, 0, 0}},
      {"TeSEdit3", "", {72, 88, 233, 21}},
      {"TeButton2", "Refresh", {104, 120, 75, 25}},
      {"TeButton1", "Synchroize", {192, 120, 75, 25}},
      {"TePageControl1", "", {8, 160, 337, 217}},
      {"ckNistServer", "NIST Atomic Time Servers", {16, 16, 201, 20}},
      {"ckCustomServer", "Custom Time Server", {16, 48, 201, 20}},
      {"TeScrollingLabel1", "Server Address: ", {24, 80, 0, 0}},
      {"edtServer", "129.6.15.29", {112, 80, 201, 21}},
      {"TeScrollingLabel2", "Server Protocol: ", {24, 112, 0, 0}},
      {"cbSeverType", "", {112, 112, 57, 21}},
      {"ckSyncTime", "Synchronize time every ", {16, 16, 129, 20}},
      {"edtSyncTime", "60", {152, 16, 33, 21}},
      {"TeLabel4", "minutes", {191, 18, 0, 0}},
      {"ckRunStartup", "Run program at windows startup", {16, 56, 265, 20}},
      {"ckSyncOnStart", "Synchronize time on program startup", {16, 96, 265, 20}},
      {"TeGroupBox1", "Display Time Format", {8, 16, 305, 89}},
      {"ckTimeLocaFormat", "Local time format", {16, 16, 201, 20}},
      {"ckUTCFormat", "UTC", {16, 48, 201, 20}},
      {"TeGroupBox2", "Time Server", {8, 112, 305, 57}},
      {"ckRunTimeServer", "Run as local time server (Time protocol)", {16, 24, 241, 20}},
  };
  for (const auto& c : controls) {
    auto* control = form.findChild<QWidget*>(QString::fromLatin1(c.Name));
    ASSERT_NE(control, nullptr) << c.Name;
    EXPECT_EQ(Caption(control), QString::fromLatin1(c.Caption)) << c.Name;
    EXPECT_EQ(control->pos(), c.Place.topLeft()) << c.Name;
    if (c.Place.width() > 0) {  // labels size themselves
      EXPECT_EQ(control->size(), c.Place.size()) << c.Name;
    }
  }
  EXPECT_EQ(form.TePageControl1->count(), 3);
  EXPECT_EQ(form.TePageControl1->tabText(0), "Time Server");
  EXPECT_EQ(form.TePageControl1->tabText(1), "Synchroniztion");
  EXPECT_EQ(form.TePageControl1->tabText(2), "Misc");
  EXPECT_EQ(form.cbSeverType->count(), 2);
  EXPECT_EQ(form.cbSeverType->itemText(0), "SNTP");
  EXPECT_EQ(form.cbSeverType->itemText(1), "Time");
  EXPECT_EQ(form.cbSeverType->currentIndex(), 0);
  EXPECT_TRUE(form.ckNistServer->isChecked());
  EXPECT_TRUE(form.ckUTCFormat->isChecked()) << "with no settings file the fixed format is chosen";
  EXPECT_FALSE(form.ckSyncTime->isChecked() || form.ckRunStartup->isChecked() || form.ckSyncOnStart->isChecked() ||
               form.ckRunTimeServer->isChecked());
  // Start-up ran the NIST handler: the custom server's choices are disabled.
  EXPECT_FALSE(form.edtServer->isEnabled());
  EXPECT_FALSE(form.cbSeverType->isEnabled());
  EXPECT_TRUE(form.TeSEdit1->isReadOnly() && form.TeSEdit2->isReadOnly() && form.TeSEdit3->isReadOnly());
  EXPECT_EQ(TForm1::FontColor(form.TeSEdit2), 255);
  EXPECT_EQ(form.Timer1->interval(), 500);
  EXPECT_FALSE(form.SyncTimer->isActive());
}

TEST(WindowTest, TheCheckBoxSwitchesTheTimeServerAndAFailureLeavesItTicked) {
  auto form = std::make_unique<TForm1>();
  form->ckRunTimeServer->setChecked(true);
  EXPECT_TRUE(form->IdTimeUDPServer1->Active());
  form->ckRunTimeServer->setChecked(false);
  EXPECT_FALSE(form->IdTimeUDPServer1->Active());

  // Port 37 held by someone else: nothing is reported, the box stays ticked, the server off.
  const int holder = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(37);
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  form->ckRunTimeServer->setChecked(true);
  EXPECT_TRUE(form->ckRunTimeServer->isChecked());
  EXPECT_FALSE(form->IdTimeUDPServer1->Active());
  close(holder);

  form->ckRunTimeServer->setChecked(false);
  form->ckRunTimeServer->setChecked(true);
  ASSERT_TRUE(form->IdTimeUDPServer1->Active());
  CloseForm(form);  // closes the server with the window
}

}  // namespace
