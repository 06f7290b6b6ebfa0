// SPDX-License-Identifier: MIT
#include "Style.h"

#include <algorithm>

#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProxyStyle>
#include <QStringList>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTabWidget>

namespace {

const QColor WindowBackground(0xe8, 0xec, 0xf2);
const QColor WindowBorder(0x4a, 0x6a, 0x96);
const QColor CaptionTop(0x5b, 0x84, 0xbd);
const QColor CaptionBottom(0x2f, 0x5a, 0x94);
const QColor CaptionButtonHover(255, 255, 255, 60);
const QColor BoxBorder(0x9a, 0xa9, 0xbf);  // read-only boxes, the page control and group boxes
const QColor PageBackground(0xf4, 0xf6, 0xf9);
constexpr int GroupBoxFrameTop = 6;  // the frame's top line runs through the middle of the title
constexpr int GroupBoxTitleLeft = 8;
constexpr int GroupBoxTitlePadding = 2;

// The fixed layout was made for a narrow 8-point bitmap face whose lines are 11 pixels
// high. Liberation Sans (or Arial, its metric twin) at 10 pixels has that line height
// and about that text width; at 11 pixels "Synchronize time every " would be cut.
QString WindowFontFamily() {
  const QStringList installed = QFontDatabase::families();
  for (const char* family : {"Liberation Sans", "Arial"})
    if (installed.contains(QString::fromLatin1(family))) return QString::fromLatin1(family);
  return QStringLiteral("sans-serif");
}

bool InWindow(const QWidget* widget) {
  for (; widget != nullptr; widget = widget->parentWidget())
    if (widget->inherits("TMainWindow")) return true;
  return false;
}

// A rectangle's one-pixel outline, drawn inside it.
void DrawBorder(QPainter* painter, const QRect& rect, const QColor& color) {
  painter->fillRect(rect.left(), rect.top(), rect.width(), 1, color);
  painter->fillRect(rect.left(), rect.bottom(), rect.width(), 1, color);
  painter->fillRect(rect.left(), rect.top(), 1, rect.height(), color);
  painter->fillRect(rect.right(), rect.top(), 1, rect.height(), color);
}

bool IsReadOnlyBox(const QWidget* widget) {
  const auto* box = qobject_cast<const QLineEdit*>(widget);
  return box != nullptr && box->isReadOnly() && InWindow(box);
}

bool IsCaptionButton(const QWidget* widget) {
  return widget != nullptr && widget->parentWidget() != nullptr && widget->parentWidget()->inherits("TCaptionBar");
}

const QTabWidget* PageControl(const QWidget* widget) {
  if (widget == nullptr) return nullptr;
  const auto* pages = qobject_cast<const QTabWidget*>(widget);
  if (pages == nullptr) pages = qobject_cast<const QTabWidget*>(widget->parentWidget());
  return pages != nullptr && InWindow(pages) ? pages : nullptr;
}

class TKestrineStyle : public QProxyStyle {
public:
  explicit TKestrineStyle(QStyle* base) : QProxyStyle(base) {}

  // Popups and dialogs of the window are windows of their own: they take its font too.
  void polish(QWidget* widget) override {
    QProxyStyle::polish(widget);
    if (widget->isWindow() && widget->parentWidget() != nullptr && InWindow(widget))
      widget->setAttribute(Qt::WA_WindowPropagation);
  }
  using QProxyStyle::polish;

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
    if (element == PE_Widget && widget != nullptr && widget->inherits("TMainWindow")) {
      painter->fillRect(option->rect, WindowBackground);
      DrawBorder(painter, option->rect, WindowBorder);
      return;
    }
    if (element == PE_Widget && widget != nullptr && widget->inherits("TCaptionBar")) {
      QLinearGradient gradient(0, 0, 0, 1);
      gradient.setCoordinateMode(QGradient::ObjectBoundingMode);
      gradient.setColorAt(0, CaptionTop);
      gradient.setColorAt(1, CaptionBottom);
      painter->fillRect(option->rect, gradient);
      return;
    }
    if (element == PE_PanelLineEdit && IsReadOnlyBox(widget)) {
      painter->fillRect(option->rect, Qt::white);
      DrawBorder(painter, option->rect, BoxBorder);
      return;
    }
    if (element == PE_FrameTabWidget && PageControl(widget) != nullptr) {
      painter->fillRect(option->rect, PageBackground);
      DrawBorder(painter, option->rect, BoxBorder);
      return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
  }

  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                          const QWidget* widget) const override {
    if (control == CC_ToolButton && IsCaptionButton(widget)) {
      if ((option->state & State_MouseOver) && (option->state & State_Enabled)) {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(CaptionButtonHover);
        painter->drawRoundedRect(option->rect, 2, 2);
        painter->restore();
      }
      if (const auto* button = qstyleoption_cast<const QStyleOptionToolButton*>(option))
        baseStyle()->drawControl(CE_ToolButtonLabel, button, painter, widget);
      return;
    }
    const auto* group = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
    if (control == CC_GroupBox && group != nullptr && InWindow(widget)) {
      // The title is drawn centred over at least the width of its text and a space.
      QRect label = GroupBoxLabel(*group);
      label.setWidth(
          std::max(label.width(), group->fontMetrics.size(Qt::TextShowMnemonic, group->text + u' ').width()));
      const QRect title = label.adjusted(-GroupBoxTitlePadding, 0, GroupBoxTitlePadding, 0);
      painter->save();
      painter->setClipRegion(QRegion(option->rect) - title);
      DrawBorder(painter, option->rect.adjusted(0, GroupBoxFrameTop, 0, 0), BoxBorder);
      painter->restore();
      int alignment = Qt::AlignCenter | Qt::TextShowMnemonic;
      if (!styleHint(SH_UnderlineShortcut, option, widget)) alignment |= Qt::TextHideMnemonic;
      drawItemText(painter, label, alignment, group->palette, (group->state & State_Enabled) != 0, group->text,
                   QPalette::WindowText);
      return;
    }
    QProxyStyle::drawComplexControl(control, option, painter, widget);
  }

  QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                       const QWidget* widget) const override {
    const auto* group = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
    if (control == CC_GroupBox && group != nullptr && InWindow(widget)) {
      const QRect frame = option->rect.adjusted(0, GroupBoxFrameTop, 0, 0);
      switch (sub) {
        case SC_GroupBoxFrame: return frame;
        case SC_GroupBoxContents: return frame.adjusted(1, 1, -1, -1);
        case SC_GroupBoxLabel: return GroupBoxLabel(*group);
        default: break;
      }
    }
    return QProxyStyle::subControlRect(control, option, sub, widget);
  }

  QRect subElementRect(SubElement element, const QStyleOption* option, const QWidget* widget) const override {
    if (element == SE_LineEditContents && IsReadOnlyBox(widget)) return option->rect.adjusted(1, 1, -1, -1);
    if (element == SE_TabWidgetTabContents && PageControl(widget) != nullptr)
      return subElementRect(SE_TabWidgetTabPane, option, widget).adjusted(1, 1, -1, -1);
    return QProxyStyle::subElementRect(element, option, widget);
  }

  int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
    // The tabs stand on the page control's frame rather than over it.
    if (metric == PM_TabBarBaseOverlap && PageControl(widget) != nullptr) return 0;
    return QProxyStyle::pixelMetric(metric, option, widget);
  }

private:
  // The title's text, after its padding at the left of the frame's top line.
  static QRect GroupBoxLabel(const QStyleOptionGroupBox& group) {
    return {group.rect.left() + GroupBoxTitleLeft + GroupBoxTitlePadding, group.rect.top(),
            group.fontMetrics.horizontalAdvance(group.text), group.fontMetrics.height()};
  }
};

}  // namespace

void ApplyKestrineLook(QWidget* window) {
  if (dynamic_cast<TKestrineStyle*>(QApplication::style()) == nullptr)
    QApplication::setStyle(new TKestrineStyle(QStyleFactory::create(QApplication::style()->name())));
  QFont font(WindowFontFamily());
  font.setPixelSize(10);
  window->setFont(font);
}

void ApplyCaptionLook(QLabel* caption) {
  QFont bold;
  bold.setBold(true);
  caption->setFont(bold);
  QPalette palette;
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    palette.setColor(role, Qt::white);
  caption->setPalette(palette);
}
