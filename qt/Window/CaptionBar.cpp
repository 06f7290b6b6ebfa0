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

namespace {

enum class TGlyph { Tray, Rollup, Unroll, Minimize, Close };

// White line glyphs for the caption bar's buttons, drawn rather than taken from the
// desktop's style, so that they read on the bar whatever the style is.
QIcon GlyphIcon(TGlyph glyph) {
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
    case TGlyph::Rollup: painter.drawPolygon(QPolygonF({QPointF(2, 8), QPointF(10, 8), QPointF(6, 3)})); break;
    case TGlyph::Unroll: painter.drawPolygon(QPolygonF({QPointF(2, 4), QPointF(10, 4), QPointF(6, 9)})); break;
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
  setObjectName(QStringLiteral("TeForm1"));
  setAttribute(Qt::WA_StyledBackground);
  setAccessibleName(QStringLiteral("Caption bar"));
  FIconLabel = new QLabel(this);
  FIconLabel->setObjectName(QStringLiteral("SystemMenuIcon"));
  FIconLabel->setPixmap(icon.pixmap(16, 16));
  FIconLabel->setAccessibleName(QStringLiteral("System menu"));
  FIconLabel->installEventFilter(this);
  FCaption = new QLabel(window->windowTitle(), this);
  FCaption->setObjectName(QStringLiteral("Caption"));
  QToolButton* tray = AddButton("TrayButton", QStringLiteral("Minimize to tray"), GlyphIcon(TGlyph::Tray));
  FRollupButton = AddButton("RollupButton", QStringLiteral("Roll up"), GlyphIcon(TGlyph::Rollup));
  QToolButton* minimize = AddButton("MinimizeButton", QStringLiteral("Minimize"), GlyphIcon(TGlyph::Minimize));
  QToolButton* close = AddButton("CloseButton", QStringLiteral("Close"), GlyphIcon(TGlyph::Close));
  connect(tray, &QToolButton::clicked, this, [this] { Command(TFrameCommand::MinimizeToTray); });
  connect(minimize, &QToolButton::clicked, this, [this] { Command(TFrameCommand::Minimize); });
  connect(FRollupButton, &QToolButton::clicked, this, [this] { Command(TFrameCommand::ToggleRollup); });
  connect(close, &QToolButton::clicked, this, [this] { Command(TFrameCommand::Close); });
  connect(FWindow, &QWidget::windowTitleChanged, FCaption, &QLabel::setText);

  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(3, 1, 2, 1);
  row->setSpacing(2);
  row->addWidget(FIconLabel);
  row->addWidget(FCaption, 1);
  for (auto* button : {tray, FRollupButton, minimize, close}) row->addWidget(button);
}

QToolButton* TCaptionBar::AddButton(const char* name, const QString& accessibleName, const QIcon& icon) {
  auto* button = new QToolButton(this);
  button->setObjectName(QString::fromLatin1(name));
  button->setAccessibleName(accessibleName);
  button->setToolTip(accessibleName);
  button->setIcon(icon);
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  button->setFixedSize(Height - 2, Height - 2);
  return button;
}

QToolButton* TCaptionBar::Button(const char* name) const { return findChild<QToolButton*>(QString::fromLatin1(name)); }

void TCaptionBar::Command(TFrameCommand command) {
  if (OnCommand) OnCommand(command);
}

void TCaptionBar::ShowRolledUp(bool rolledUp) {
  FRollupButton->setIcon(GlyphIcon(rolledUp ? TGlyph::Unroll : TGlyph::Rollup));
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

// The menu opens at the first click on the icon, as a system menu does.
bool TCaptionBar::eventFilter(QObject* watched, QEvent* event) {
  const bool press = event->type() == QEvent::MouseButtonPress;
  if ((!press && event->type() != QEvent::MouseButtonDblClick) || !OnIcon(static_cast<QMouseEvent*>(event)))
    return QWidget::eventFilter(watched, event);
  const quint64 time = static_cast<QMouseEvent*>(event)->timestamp();
  bool closeWindow = false;
  if (watched == FIconLabel && press) {
    FIconPressedAt = time;
    ShowSystemMenu(FIconLabel->mapToGlobal(QPoint(0, FIconLabel->height())));
  } else if (watched == FIconLabel) {
    closeWindow = true;  // a double click the menu did not take
  } else {
    // The menu opened by the first click holds the mouse, so the second click on the
    // icon arrives here, as a double click when Qt counts it as one: it closes the
    // menu, and within the double-click time the window too. The times are the
    // clicks' own, so a busy program still tells. The click must not reach the icon
    // again and reopen the menu.
    closeWindow = !press || (FIconPressedAt && time - *FIconPressedAt <= quint64(QApplication::doubleClickInterval()));
    FMenu->setAttribute(Qt::WA_NoMouseReplay);
    FMenu->close();
  }
  if (closeWindow) {
    FIconPressedAt.reset();
    if (FMenu != nullptr) FMenu->close();
    Command(TFrameCommand::Close);
  }
  return true;
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
