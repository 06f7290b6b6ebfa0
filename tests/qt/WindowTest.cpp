// SPDX-License-Identifier: MIT
// The Qt view: its controls as a new window has them, the user's actions reaching
// the logic, and texts crossing into Qt as UTF-8.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "CaptionBar.h"
#include "Form/ControlTable.h"
#include "MainWindow.h"

using namespace KestrineTest;
using namespace std::chrono_literals;

namespace {

QString Caption(QWidget* control) {
  if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
  if (auto* edit = qobject_cast<QLineEdit*>(control)) return edit->text();
  if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
  if (auto* group = qobject_cast<QGroupBox*>(control)) return group->title();
  if (auto* pages = qobject_cast<QTabWidget*>(control->parentWidget()->parentWidget()))
    return pages->tabText(pages->indexOf(control));
  return {};
}

bool IsKind(QWidget* control, TControlKind kind) {
  switch (kind) {
    case TControlKind::Label: return qobject_cast<QLabel*>(control) != nullptr;
    case TControlKind::ClockBox: {
      auto* box = qobject_cast<QLineEdit*>(control);
      return box != nullptr && box->isReadOnly() && box->alignment() == Qt::AlignCenter;
    }
    case TControlKind::Edit: {
      auto* box = qobject_cast<QLineEdit*>(control);
      return box != nullptr && !box->isReadOnly();
    }
    case TControlKind::Button: return qobject_cast<QPushButton*>(control) != nullptr;
    case TControlKind::PageControl: return qobject_cast<QTabWidget*>(control) != nullptr;
    case TControlKind::Page: return qobject_cast<QTabWidget*>(control->parentWidget()->parentWidget()) != nullptr;
    case TControlKind::RadioButton: return qobject_cast<QRadioButton*>(control) != nullptr;
    case TControlKind::CheckBox: return qobject_cast<QCheckBox*>(control) != nullptr;
    case TControlKind::GroupBox: return qobject_cast<QGroupBox*>(control) != nullptr;
    case TControlKind::List: {
      auto* list = qobject_cast<QComboBox*>(control);
      return list != nullptr && !list->isEditable();
    }
  }
  return false;
}

// The window as start-up leaves it without a settings file (the test folder has
// none): the table's frame and controls, with the texts and choices that loading
// the defaults changed.
TEST(WindowTest, EveryControlIsTheTablesWithItsNameCaptionPlaceAndInitialState) {
  auto window = MakeWindow();
  TMainWindow& form = *window;
  constexpr TFormSpec frame = FormSpec();
  EXPECT_EQ(form.objectName(), frame.Name);
  EXPECT_EQ(ToUtf8(form.windowTitle()), frame.Caption);
  EXPECT_EQ(form.pos(), QPoint(frame.Left, frame.Top));
  EXPECT_EQ(form.ClientArea->geometry(),
            QRect(frame.Border, frame.Border + frame.CaptionBarHeight, frame.ClientWidth, frame.ClientHeight));
  EXPECT_EQ(form.CaptionBar->geometry(), QRect(frame.Border, frame.Border, frame.ClientWidth, frame.CaptionBarHeight));
  EXPECT_EQ(form.size(), QSize(frame.ClientWidth, frame.CaptionBarHeight + frame.ClientHeight) +
                             QSize(2 * frame.Border, 2 * frame.Border));
  EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "the window has a fixed size";

  const std::map<TControl, std::string> loaded = {{TControl::edtServer, "129.6.15.29"}, {TControl::edtSyncTime, "60"}};
  for (const TControlSpec& spec : ControlTable()) {
    SCOPED_TRACE(spec.Name);
    QWidget* control = form.findChild<QWidget*>(QString::fromLatin1(spec.Name));
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control, form.Control(spec.Id));
    EXPECT_TRUE(IsKind(control, spec.Kind));
    const auto text = loaded.find(spec.Id);
    EXPECT_EQ(ToUtf8(Caption(control)), text != loaded.end() ? text->second : spec.Caption);
    if (spec.Kind == TControlKind::Page) {
      EXPECT_EQ(control->parentWidget()->parentWidget(), form.Control(*spec.Parent));
      continue;
    }
    EXPECT_EQ(control->parentWidget(), spec.Parent ? form.Control(*spec.Parent) : form.ClientArea);
    EXPECT_EQ(control->pos(), QPoint(spec.Left, spec.Top));
    EXPECT_EQ(control->height(), spec.Height);
    if (WidensToCaption(spec.Kind)) {
      EXPECT_GE(control->width(), spec.Width);
    } else {
      EXPECT_EQ(control->width(), spec.Width);
    }
    if (auto* box = qobject_cast<QLineEdit*>(control); box != nullptr && spec.FontColor >= 0) {
      EXPECT_EQ(TMainWindow::FontColor(box), spec.FontColor);
    }
    if (auto* list = qobject_cast<QComboBox*>(control)) {
      ASSERT_EQ(list->count(), static_cast<int>(spec.Items.size()));
      for (int i = 0; i < list->count(); ++i) EXPECT_EQ(ToUtf8(list->itemText(i)), spec.Items[i]);
      EXPECT_EQ(list->currentIndex(), 0);
    }
    // Without a settings file the fixed format is chosen.
    const bool loadedChoice = spec.Id == TControl::ckTimeLocaFormat || spec.Id == TControl::ckUTCFormat;
    if (auto* button = qobject_cast<QAbstractButton*>(control); button != nullptr && button->isCheckable()) {
      EXPECT_EQ(button->isChecked(), spec.Checked != loadedChoice);
    }
  }
  // Start-up ran the NIST handler: the custom server's choices are disabled.
  EXPECT_FALSE(form.Control(TControl::edtServer)->isEnabled());
  EXPECT_FALSE(form.Control(TControl::cbSeverType)->isEnabled());
  EXPECT_EQ(form.Timer1->interval(), 500);
  EXPECT_FALSE(form.SyncTimer->isActive());
}

// Each box has its label's name for screen readers, and the label leads the keyboard to it.
TEST(WindowTest, EveryBoxIsNamedByItsLabels) {
  auto window = MakeWindow();
  for (const TBoxLabel& pair : BoxLabels()) {
    QWidget* box = window->Control(pair.Box);
    SCOPED_TRACE(ToUtf8(box->objectName()));
    EXPECT_EQ(ToUtf8(box->accessibleName()), AccessibleName(pair));
    if (auto* label = window->Control<QLabel>(pair.Label)) {  // not a check box
      EXPECT_EQ(label->buddy(), box);
    }
    if (pair.Unit) {
      EXPECT_EQ(window->Control<QLabel>(*pair.Unit)->buddy(), box);
    }
  }
}

// The caption bar's buttons in the table's order, each with its name, tip and command.
TEST(WindowTest, TheCaptionBarHasTheTablesButtons) {
  auto window = MakeWindow();
  window->show();
  PumpFor(20ms);
  auto buttons = window->CaptionBar->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly);
  std::ranges::sort(buttons, {}, [](const QToolButton* button) { return button->x(); });
  ASSERT_EQ(static_cast<std::size_t>(buttons.size()), CaptionButtons().size());
  std::vector<TFrameCommand> commands;
  window->CaptionBar->OnCommand = [&](TFrameCommand command) { commands.push_back(command); };
  for (std::size_t i = 0; i < CaptionButtons().size(); ++i) {
    const TCaptionButtonSpec& spec = CaptionButtons()[i];
    QToolButton* button = buttons[static_cast<qsizetype>(i)];
    SCOPED_TRACE(spec.Name);
    EXPECT_EQ(button->objectName(), spec.Name);
    EXPECT_EQ(ToUtf8(button->accessibleName()), spec.Title);
    EXPECT_EQ(ToUtf8(button->toolTip()), spec.Title);
    button->click();
    ASSERT_EQ(commands.size(), i + 1);
    EXPECT_EQ(commands.back(), spec.Command);
  }
  CloseForm(window);
}

// The look as drawn: the window's font on every control and on the popups it
// opens, the white bold caption, the frame's and the boxes' colours.
TEST(WindowTest, TheWindowIsDrawnInItsOwnFontAndColours) {
  auto window = MakeWindow();
  window->show();
  PumpFor(20ms);
  const QFont font = window->font();
  EXPECT_EQ(font.pixelSize(), 10);
  for (const TControlSpec& spec : ControlTable()) {
    QWidget* control = window->Control(spec.Id);
    EXPECT_EQ(control->font(), font) << spec.Name;
  }
  auto* caption = window->CaptionBar->findChild<QLabel*>(QStringLiteral("Caption"));
  EXPECT_EQ(caption->font().family(), font.family());
  EXPECT_TRUE(caption->font().bold());
  EXPECT_EQ(caption->palette().color(QPalette::WindowText), QColor(Qt::white));
  QMenu* menu = window->CaptionBar->ShowSystemMenu(window->mapToGlobal(QPoint(0, 20)));
  EXPECT_EQ(menu->font(), font);
  menu->close();

  const QImage frame = window->grab().toImage();
  EXPECT_EQ(frame.pixelColor(0, 0), QColor(0x4a, 0x6a, 0x96));
  EXPECT_EQ(frame.pixelColor(2, frame.height() - 2), QColor(0xe8, 0xec, 0xf2));
  const QImage box = window->Control(TControl::TeSEdit3)->grab().toImage();
  EXPECT_EQ(box.pixelColor(0, 0), QColor(0x9a, 0xa9, 0xbf));
  EXPECT_EQ(box.pixelColor(2, 2), QColor(Qt::white));
  const QImage page = window->Control(TControl::TePageControl1)->grab().toImage();
  EXPECT_EQ(page.pixelColor(3, page.height() - 3), QColor(0xf4, 0xf6, 0xf9));
  CloseForm(window);
}

// The user's clicks reach the logic, which switches the server; a failure leaves the box ticked.
TEST(WindowTest, TheCheckBoxSwitchesTheTimeServerAndAFailureLeavesItTicked) {
  auto window = MakeWindow();
  TForm1& form = window->Form();
  auto* serverBox = window->Control<QCheckBox>(TControl::ckRunTimeServer);
  serverBox->click();
  EXPECT_TRUE(form.IdTimeUDPServer1->Active());
  serverBox->click();
  EXPECT_FALSE(form.IdTimeUDPServer1->Active());

  // Port 37 held by someone else: nothing is reported, the box stays ticked, the server off.
  const int holder = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(37);
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  serverBox->click();
  EXPECT_TRUE(serverBox->isChecked());
  EXPECT_FALSE(form.IdTimeUDPServer1->Active());
  close(holder);

  serverBox->click();
  serverBox->click();
  ASSERT_TRUE(form.IdTimeUDPServer1->Active());
  CloseForm(window);  // closes the server with the window
}

// Each control's event reaches its handler in the logic, and the logic's writes
// show in the controls without running handlers again.
TEST(WindowTest, EventsReachTheirHandlers) {
  auto window = MakeWindow();
  TForm1& form = window->Form();
  const auto click = [&](TControl id) { window->Control<QAbstractButton>(id)->click(); };
  click(TControl::ckCustomServer);  // enables the custom server's choices
  EXPECT_TRUE(window->Control(TControl::edtServer)->isEnabled());
  EXPECT_TRUE(window->Control(TControl::cbSeverType)->isEnabled());
  click(TControl::ckNistServer);
  EXPECT_FALSE(window->Control(TControl::edtServer)->isEnabled());

  window->Control<QLineEdit>(TControl::edtSyncTime)->setText(QStringLiteral("5"));
  click(TControl::ckSyncTime);
  EXPECT_TRUE(window->SyncTimer->isActive());
  EXPECT_EQ(window->SyncTimer->interval(), 300000);
  click(TControl::ckSyncTime);
  EXPECT_FALSE(window->SyncTimer->isActive());

  window->Timer1->start(1);
  EXPECT_TRUE(
      PumpUntil([&] { return !Text(window->Control<QLineEdit>(TControl::TeSEdit2)).empty(); }, std::chrono::seconds(5)))
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
  EXPECT_EQ(window->Control<QLineEdit>(TControl::TeSEdit1)->text(),
            QStringLiteral("The system clock could not be set: Opération non permise"));
  EXPECT_EQ(window->Text(TControl::TeSEdit1), message);
  window->Control<QLineEdit>(TControl::edtServer)->setText(QStringLiteral("horloge.exemple.fr/é"));
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
