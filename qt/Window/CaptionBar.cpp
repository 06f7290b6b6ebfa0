// SPDX-License-Identifier: MIT
#include "CaptionBar.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>
#include <QToolButton>
#include <QWindow>

#include "FrameMenu.h"
#include "Style.h"

namespace {

// White line glyphs for the caption bar's buttons, drawn rather than taken from the
// desktop's style, so that they read on the bar whatever the style is.
QIcon GlyphIcon(TGlyph glyph, bool rolledUp) {
  QPixmap pixmap(12, 12);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(Qt::white, 1.6));
  painter.setBrush(Qt::white);
  switch (glyph) {
    case TGlyph::Tray:
      painter.drawLine(QPointF(6, 1), QPointF(6, 7));
      painter.drawPolygon(QPolygonF({QPointF(3, 5), QPointF(9, 5), QPointF(6, 8.5)}));
      painter.drawLine(QPointF(1.5, 10.5), QPointF(10.5, 10.5));
      break;
    case TGlyph::Rollup:
      if (rolledUp)
        painter.drawPolygon(QPolygonF({QPointF(2, 4), QPointF(10, 4), QPointF(6, 9)}));
      else
        painter.drawPolygon(QPolygonF({QPointF(2, 8), QPointF(10, 8), QPointF(6, 3)}));
      break;
    case TGlyph::Minimize: painter.drawLine(QPointF(2, 9.5), QPointF(10, 9.5)); break;
    case TGlyph::Close:
      painter.drawLine(QPointF(2.5, 2.5), QPointF(9.5, 9.5));
      painter.drawLine(QPointF(9.5, 2.5), QPointF(2.5, 9.5));
      break;
  }
  return QIcon(pixmap);
}

}  // namespace

TCaptionBar::TCaptionBar(QWidget* window, const QIcon& icon) : QWidget(window), FWindow(window) {
  setObjectName(QStringLiteral("CaptionBar"));
  setAttribute(Qt::WA_StyledBackground);
  setAccessibleName(QStringLiteral("Caption bar"));
  FIconLabel = new QLabel(this);
  FIconLabel->setObjectName(QStringLiteral("SystemMenuIcon"));
  FIconLabel->setPixmap(icon.pixmap(16, 16));
  FIconLabel->setAccessibleName(QStringLiteral("System menu"));
  FIconLabel->installEventFilter(this);
  FCaption = new QLabel(window->windowTitle(), this);
  FCaption->setObjectName(QStringLiteral("Caption"));
  ApplyCaptionLook(FCaption);
  connect(FWindow, &QWidget::windowTitleChanged, FCaption, &QLabel::setText);

  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(3, 1, 2, 1);
  row->setSpacing(2);
  row->addWidget(FIconLabel);
  row->addWidget(FCaption, 1);
  for (const TCaptionButtonSpec& spec : CaptionButtons()) row->addWidget(AddButton(spec));
}

QToolButton* TCaptionBar::AddButton(const TCaptionButtonSpec& spec) {
  auto* button = new QToolButton(this);
  button->setObjectName(QString::fromLatin1(spec.Name));
  button->setAccessibleName(QString::fromUtf8(spec.Title));
  button->setToolTip(QString::fromUtf8(spec.Title));
  button->setIcon(GlyphIcon(spec.Glyph, false));
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  const int size = FormSpec().CaptionBarHeight - 2;
  button->setFixedSize(size, size);
  connect(button, &QToolButton::clicked, this, [this, command = spec.Command] { Command(command); });
  return button;
}

QToolButton* TCaptionBar::Button(const char* name) const { return findChild<QToolButton*>(QString::fromLatin1(name)); }

void TCaptionBar::Command(TFrameCommand command) {
  if (OnCommand) OnCommand(command);
}

void TCaptionBar::ShowRolledUp(bool rolledUp) {
  for (const TCaptionButtonSpec& spec : CaptionButtons())
    if (spec.Glyph == TGlyph::Rollup) Button(spec.Name)->setIcon(GlyphIcon(spec.Glyph, rolledUp));
}

QMenu* TCaptionBar::ShowSystemMenu(const QPoint& globalPosition) {
  delete FMenu;
  FMenu = new QMenu(this);
  FMenu->setObjectName(QStringLiteral("SystemMenu"));
  FMenu->installEventFilter(this);
  if (MenuItems) FillMenu(FMenu, MenuItems(), [this](TFrameCommand command) { Command(command); });
  FMenu->popup(globalPosition);
  return FMenu;
}

bool TCaptionBar::OnIcon(const QMouseEvent* event) const {
  return event->button() == Qt::LeftButton &&
         QRect(FIconLabel->mapToGlobal(QPoint(0, 0)), FIconLabel->size()).contains(event->globalPosition().toPoint());
}

// The menu opens at the first press on the icon, as a system menu does. The menu
// opened by it holds the mouse, so a second press on the icon arrives at the
// menu, as a double click when Qt counts it as one: it closes the menu, and
// within the double-click time the window too. It must not reach the icon again
// and reopen the menu.
bool TCaptionBar::eventFilter(QObject* watched, QEvent* event) {
  const bool press = event->type() == QEvent::MouseButtonPress;
  if ((!press && event->type() != QEvent::MouseButtonDblClick) || !OnIcon(static_cast<QMouseEvent*>(event)))
    return QWidget::eventFilter(watched, event);
  const bool atMenu = watched != FIconLabel;
  if (atMenu) FMenu->setAttribute(Qt::WA_NoMouseReplay);
  if (!press)
    IconAction(FIconClicks.DoubleClicked());
  else
    IconAction(FIconClicks.Pressed(static_cast<QMouseEvent*>(event)->timestamp(),
                                   static_cast<quint64>(QApplication::doubleClickInterval()), atMenu));
  return true;
}

void TCaptionBar::IconAction(TIconClicks::TAction action) {
  if (action == TIconClicks::TAction::OpenMenu) {
    ShowSystemMenu(FIconLabel->mapToGlobal(QPoint(0, FIconLabel->height())));
    return;
  }
  if (FMenu != nullptr) FMenu->close();
  if (action == TIconClicks::TAction::CloseWindow) Command(TFrameCommand::Close);
}

void TCaptionBar::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  // Let the window manager move the window; where it cannot, move it by hand.
  if (FWindow->windowHandle() && FWindow->windowHandle()->startSystemMove()) return;
  FDragging = true;
  FDragOffset = event->globalPosition().toPoint() - FWindow->frameGeometry().topLeft();
}

void TCaptionBar::mouseMoveEvent(QMouseEvent* event) {
  if (FDragging) FWindow->move(event->globalPosition().toPoint() - FDragOffset);
}

void TCaptionBar::mouseReleaseEvent(QMouseEvent* event) {
  FDragging = false;
  if (event->button() == Qt::RightButton) ShowSystemMenu(event->globalPosition().toPoint());
}
