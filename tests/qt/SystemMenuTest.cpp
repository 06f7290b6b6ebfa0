// SPDX-License-Identifier: MIT
// Clicks on the system-menu icon through Qt's own mouse routing, so that the open
// menu takes the mouse as it does on a desktop.
#include <QApplication>
// Through the window, as the platform delivers them, not straight to a widget.
#define QTEST_QPA_MOUSE_HANDLING
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "MainWindow.h"

using namespace KestrineTest;

namespace {

class SystemMenuTest : public ::testing::Test {
protected:
  void SetUp() override {
    Form = KestrineTest::MakeWindow();
    Form->show();
    Icon = Form->findChild<QWidget*>(QStringLiteral("SystemMenuIcon"));
    ASSERT_NE(Icon, nullptr);
  }
  void TearDown() override { CloseForm(Form); }

  void Click() {
    QTest::mousePress(Icon, Qt::LeftButton, {}, QPoint(4, 4));
    QTest::mouseRelease(Icon, Qt::LeftButton, {}, QPoint(4, 4));
  }
  static std::string OpenMenu() {
    QWidget* popup = QApplication::activePopupWidget();
    return popup != nullptr && popup->isVisible() ? popup->objectName().toStdString() : std::string();
  }

  std::unique_ptr<TMainWindow> Form;
  QWidget* Icon = nullptr;
};

TEST_F(SystemMenuTest, OneClickOpensTheMenuAtOnce) {
  QTest::mousePress(Icon, Qt::LeftButton, {}, QPoint(4, 4));
  EXPECT_EQ(OpenMenu(), "SystemMenu") << "no waiting for a double click that may follow";
  QTest::mouseRelease(Icon, Qt::LeftButton, {}, QPoint(4, 4));
  EXPECT_EQ(OpenMenu(), "SystemMenu");
}

TEST_F(SystemMenuTest, ADoubleClickClosesTheWindowAndItsMenu) {
  QTest::mouseDClick(Icon, Qt::LeftButton, {}, QPoint(4, 4));
  EXPECT_EQ(OpenMenu(), "");
  EXPECT_FALSE(Form->isVisible());
}

// The test's clicks are a double-click time apart: two clicks, not a double click.
TEST_F(SystemMenuTest, ALaterClickOnTheIconOnlyClosesTheMenu) {
  Click();
  ASSERT_EQ(OpenMenu(), "SystemMenu");
  Click();
  EXPECT_EQ(OpenMenu(), "") << "the click closes the menu and does not open it again";
  EXPECT_TRUE(Form->isVisible());
  Click();
  EXPECT_EQ(OpenMenu(), "SystemMenu");
}

}  // namespace
