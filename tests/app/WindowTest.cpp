// The Qt view: its controls as a new window has them, the user's actions reaching
// the logic, and texts crossing into Qt as UTF-8.
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

#include <QApplication>
#include <QMessageBox>

#include "AppTestSupport.h"
#include "MainWindow.h"

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
  auto window = MakeWindow();
  TMainWindow& form = *window;
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
  EXPECT_EQ(TMainWindow::FontColor(form.TeSEdit2), 255);
  EXPECT_EQ(form.Timer1->interval(), 500);
  EXPECT_FALSE(form.SyncTimer->isActive());
}

// The user's clicks reach the logic, which switches the server; a failure leaves the box ticked.
TEST(WindowTest, TheCheckBoxSwitchesTheTimeServerAndAFailureLeavesItTicked) {
  auto window = MakeWindow();
  TForm1& form = window->Form();
  window->ckRunTimeServer->click();
  EXPECT_TRUE(form.IdTimeUDPServer1->Active());
  window->ckRunTimeServer->click();
  EXPECT_FALSE(form.IdTimeUDPServer1->Active());

  // Port 37 held by someone else: nothing is reported, the box stays ticked, the server off.
  const int holder = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(37);
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  window->ckRunTimeServer->click();
  EXPECT_TRUE(window->ckRunTimeServer->isChecked());
  EXPECT_FALSE(form.IdTimeUDPServer1->Active());
  close(holder);

  window->ckRunTimeServer->click();
  window->ckRunTimeServer->click();
  ASSERT_TRUE(form.IdTimeUDPServer1->Active());
  CloseForm(window);  // closes the server with the window
}

// Each control's event reaches its handler in the logic, and the logic's writes
// show in the controls without running handlers again.
TEST(WindowTest, EventsReachTheirHandlers) {
  auto window = MakeWindow();
  TForm1& form = window->Form();
  window->ckCustomServer->click();  // enables the custom server's choices
  EXPECT_TRUE(window->edtServer->isEnabled());
  EXPECT_TRUE(window->cbSeverType->isEnabled());
  window->ckNistServer->click();
  EXPECT_FALSE(window->edtServer->isEnabled());

  window->edtSyncTime->setText(QStringLiteral("5"));
  window->ckSyncTime->click();
  EXPECT_TRUE(window->SyncTimer->isActive());
  EXPECT_EQ(window->SyncTimer->interval(), 300000);
  window->ckSyncTime->click();
  EXPECT_FALSE(window->SyncTimer->isActive());

  window->Timer1->start(1);
  EXPECT_TRUE(PumpUntil([&] { return !Text(window->TeSEdit2).empty(); }, std::chrono::seconds(5)))
      << "the tick writes the Local Time box";
  window->Timer1->stop();

  form.TeForm1.Rollup();
  EXPECT_FALSE(window->ClientArea->isVisibleTo(window.get()));
  CloseForm(window);
}

// A localized system message or a path with letters beyond ASCII reaches the
// boxes and the error box whole.
TEST(WindowTest, TextsCrossIntoQtAsUtf8) {
  auto window = MakeWindow();
  const std::string message = "The system clock could not be set: Op\xC3\xA9ration non permise";
  const std::string path = "/home/j\xC3\xBCrgen/\xE6\x99\x82\xE8\xA8\x88/kestrine";
  window->SetText(TControl::TeSEdit1, message);
  EXPECT_EQ(window->TeSEdit1->text(), QStringLiteral("The system clock could not be set: Opération non permise"));
  EXPECT_EQ(window->Text(TControl::TeSEdit1), message);
  window->edtServer->setText(QStringLiteral("horloge.exemple.fr/é"));
  EXPECT_EQ(window->Text(TControl::edtServer), "horloge.exemple.fr/\xC3\xA9");

  QString shown;
  QTimer::singleShot(0, [&] {
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) {
        shown = box->text();
        box->done(0);
      }
  });
  window->ShowErrorBox(path);
  EXPECT_EQ(shown, QStringLiteral("/home/jürgen/時計/kestrine"));
  CloseForm(window);
}

}  // namespace
