// SPDX-License-Identifier: MIT
// The window's fixed layout with the font the program really draws in: every
// caption shows whole, and no control covers another or runs out of its parent.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "Form/ControlTable.h"
#include "MainWindow.h"

namespace {

class LayoutTest : public ::testing::Test {
protected:
  void SetUp() override {
    FForm = KestrineTest::MakeWindow();
    FForm->show();
  }

  template <class T = QWidget>
  T* Control(const TControlSpec& spec) const {
    auto* control = FForm->Control<T>(spec.Id);
    if (control != nullptr) control->ensurePolished();
    return control;
  }

  std::unique_ptr<TMainWindow> FForm;
};

int TextWidth(const QWidget* control, const QString& text) {
  return QFontMetrics(control->font()).horizontalAdvance(text);
}

// The room a caption needs in its control: the text plus the mark and the gap
// the style puts before it.
int NeededWidth(const QWidget* control) {
  const QStyle* style = control->style();
  if (auto* box = qobject_cast<const QCheckBox*>(control))
    return style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box) +
           style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, box) + TextWidth(box, box->text());
  if (auto* radio = qobject_cast<const QRadioButton*>(control))
    return style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, radio) +
           style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, radio) + TextWidth(radio, radio->text());
  if (auto* button = qobject_cast<const QPushButton*>(control))
    return 2 * style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) + TextWidth(button, button->text());
  if (auto* label = qobject_cast<const QLabel*>(control)) return TextWidth(label, label->text());
  return -1;
}

// Where the style draws a group box's title; its controls must keep clear of it too.
QRect TitleOf(const QGroupBox* box) {
  QStyleOptionGroupBox option;
  option.initFrom(box);
  option.text = box->title();
  option.textAlignment = box->alignment();
  option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
  return box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
}

// Every control whose caption is drawn as a line of text: labels, buttons, check boxes, radio buttons.
TEST_F(LayoutTest, EveryCaptionShowsWhole) {
  for (const TControlSpec& spec : ControlTable()) {
    QWidget* control = Control(spec);
    ASSERT_NE(control, nullptr) << spec.Name;
    const int needed = NeededWidth(control);
    if (needed < 0) continue;
    EXPECT_LE(needed, control->width()) << spec.Name << " in " << control->font().family().toStdString() << " "
                                        << control->font().pixelSize() << " px";
  }
}

TEST_F(LayoutTest, GroupTitlesTabsAndListItemsShowWhole) {
  for (const TControlSpec& spec : ControlTable()) {
    SCOPED_TRACE(spec.Name);
    if (spec.Kind == TControlKind::GroupBox) {
      auto* box = Control<QGroupBox>(spec);
      ASSERT_NE(box, nullptr);
      const QRect title = TitleOf(box);
      EXPECT_GE(title.width(), TextWidth(box, box->title()));
      EXPECT_TRUE(box->rect().contains(title));
    }
    if (spec.Kind == TControlKind::PageControl) {
      auto* pages = Control<QTabWidget>(spec);
      ASSERT_NE(pages, nullptr);
      QTabBar* tabs = pages->tabBar();
      tabs->ensurePolished();
      for (int i = 0; i < tabs->count(); ++i) {
        EXPECT_GE(tabs->tabRect(i).width(), TextWidth(tabs, tabs->tabText(i))) << tabs->tabText(i).toStdString();
        EXPECT_LE(tabs->tabRect(i).right(), pages->width() - 1) << tabs->tabText(i).toStdString() << " needs scrolling";
      }
    }
    if (spec.Kind == TControlKind::List) {
      auto* list = Control<QComboBox>(spec);
      ASSERT_NE(list, nullptr);
      QStyleOptionComboBox option;
      option.initFrom(list);
      option.subControls = QStyle::SC_All;
      const QRect field =
          list->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, list);
      for (int i = 0; i < list->count(); ++i)
        EXPECT_LE(TextWidth(list, list->itemText(i)), field.width()) << list->itemText(i).toStdString();
    }
  }
}

// The client area and every control that holds others: the pages and the group boxes.
TEST_F(LayoutTest, NoControlCoversAnotherOrLeavesItsParent) {
  std::vector<QWidget*> parents{FForm->ClientArea};
  for (const TControlSpec& spec : ControlTable())
    if (spec.Kind == TControlKind::Page || spec.Kind == TControlKind::GroupBox) parents.push_back(Control(spec));
  for (QWidget* parent : parents) {
    ASSERT_NE(parent, nullptr);
    const std::string name = parent->objectName().toStdString();
    std::vector<std::pair<QString, QRect>> places;
    if (auto* box = qobject_cast<QGroupBox*>(parent)) places.emplace_back(QStringLiteral("its title"), TitleOf(box));
    for (QWidget* child : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      child->ensurePolished();
      places.emplace_back(child->objectName(), child->geometry());
      EXPECT_TRUE(parent->rect().contains(child->geometry()))
          << child->objectName().toStdString() << " runs out of " << name;
    }
    for (size_t i = 0; i < places.size(); ++i)
      for (size_t j = i + 1; j < places.size(); ++j)
        EXPECT_FALSE(places[i].second.intersects(places[j].second))
            << places[i].first.toStdString() << " and " << places[j].first.toStdString() << " overlap in " << name;
  }
}

}  // namespace
