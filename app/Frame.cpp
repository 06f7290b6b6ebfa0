#include "Frame.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>
#include <QStyle>
#include <QToolButton>
#include <QWindow>

#include "TrayIcon.h"

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

TeFrame::TeFrame(QWidget* window, QWidget* client, const QIcon& icon, const QString& hint)
    : QWidget(window), TrayAvailable(&TTrayIcon::Available), FWindow(window), FClient(client),
      FTray(new TTrayIcon(icon, hint, this)) {
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
  FTrayButton = AddButton("TrayButton", QStringLiteral("Minimize to tray"), GlyphIcon(TGlyph::Tray));
  FRollupButton = AddButton("RollupButton", QStringLiteral("Roll up"), GlyphIcon(TGlyph::Rollup));
  FMinimizeButton = AddButton("MinimizeButton", QStringLiteral("Minimize"), GlyphIcon(TGlyph::Minimize));
  FCloseButton = AddButton("CloseButton", QStringLiteral("Close"), GlyphIcon(TGlyph::Close));
  connect(FTrayButton, &QToolButton::clicked, this, &TeFrame::Minimize);
  connect(FMinimizeButton, &QToolButton::clicked, this, &TeFrame::Minimize);
  connect(FRollupButton, &QToolButton::clicked, this,
          [this] { FState == TFrameState::RolledUp ? Unroll() : Rollup(); });
  connect(FCloseButton, &QToolButton::clicked, FWindow, &QWidget::close);
  connect(FWindow, &QWidget::windowTitleChanged, FCaption, &QLabel::setText);
  connect(FTray, &TTrayIcon::RestoreRequested, this, &TeFrame::RestoreFromTray);
  connect(FTray, &TTrayIcon::CloseRequested, FWindow, &QWidget::close);
  Layout();
  ApplySize();
}

QToolButton* TeFrame::AddButton(const char* name, const QString& accessibleName, const QIcon& icon) {
  auto* button = new QToolButton(this);
  button->setObjectName(QString::fromLatin1(name));
  button->setAccessibleName(accessibleName);
  button->setToolTip(accessibleName);
  button->setIcon(icon);
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  button->setFixedSize(CaptionHeight - 2, CaptionHeight - 2);
  return button;
}

QToolButton* TeFrame::Button(const char* name) const { return findChild<QToolButton*>(QString::fromLatin1(name)); }

void TeFrame::Layout() {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(3, 1, 2, 1);
  row->setSpacing(2);
  row->addWidget(FIconLabel);
  row->addWidget(FCaption, 1);
  for (auto* button : {FTrayButton, FRollupButton, FMinimizeButton, FCloseButton}) row->addWidget(button);
  setGeometry(Border, Border, FClient->width(), CaptionHeight);
  FClient->move(Border, Border + CaptionHeight);
}

void TeFrame::ApplySize() {
  const int height = FState == TFrameState::RolledUp ? 0 : FClient->height();
  FWindow->setFixedSize(FClient->width() + 2 * Border, CaptionHeight + height + 2 * Border);
}

void TeFrame::Rollup() {
  if (FState != TFrameState::Normal) return;
  FState = TFrameState::RolledUp;
  FClient->hide();
  FRollupButton->setIcon(GlyphIcon(TGlyph::Unroll));
  ApplySize();
}

void TeFrame::Unroll() {
  if (FState != TFrameState::RolledUp) return;
  FState = TFrameState::Normal;
  FClient->show();
  FRollupButton->setIcon(GlyphIcon(TGlyph::Rollup));
  ApplySize();
}

void TeFrame::Minimize() {
  if (OnMinimize)
    OnMinimize();
  else
    MoveToTray();
}

void TeFrame::MoveToTray() {
  if (FState == TFrameState::InTray) return;
  if (!TrayAvailable()) {
    // No notification area: the ordinary minimize keeps the window reachable from the taskbar.
    FWindow->showMinimized();
    return;
  }
  FStateBeforeTray = FState;
  if (FState == TFrameState::Normal) FNormalBounds = FWindow->geometry();
  FState = TFrameState::InTray;
  FWindow->hide();
  FTray->Show();
}

void TeFrame::RestoreFromTray() {
  if (FState != TFrameState::InTray) return;
  FState = FStateBeforeTray;
  if (FState == TFrameState::Normal && FNormalBounds.isValid()) FWindow->move(FNormalBounds.topLeft());
  FWindow->setWindowState(FWindow->windowState() & ~Qt::WindowMinimized);
  FWindow->show();
  FWindow->raise();
  FWindow->activateWindow();
  FTray->Hide();
}

QMenu* TeFrame::SystemMenu() {
  delete FMenu;
  FMenu = new QMenu(this);
  FMenu->setObjectName(QStringLiteral("SystemMenu"));
  const auto add = [this](const QString& text, auto slot) { return FMenu->addAction(text, this, slot); };
  if (FState != TFrameState::Normal)
    add(QStringLiteral("&Restore"), [this] { FState == TFrameState::InTray ? RestoreFromTray() : Unroll(); });
  if (FState != TFrameState::InTray) {
    add(QStringLiteral("Mi&nimize"), [this] { Minimize(); });
    if (FState == TFrameState::Normal) add(QStringLiteral("Ro&llup"), [this] { Rollup(); });
    add(QStringLiteral("Minimize to &Tray"), [this] { Minimize(); });
  }
  FMenu->addSeparator();
  QAction* close = add(QStringLiteral("&Close"), [this] { FWindow->close(); });
  close->setShortcut(QKeySequence(QStringLiteral("Alt+F4")));
  return FMenu;
}

void TeFrame::ShowSystemMenu(const QPoint& globalPosition) {
  SystemMenu()->installEventFilter(this);
  FMenu->popup(globalPosition);
}

bool TeFrame::OnIcon(const QMouseEvent* event) const {
  return event->button() == Qt::LeftButton &&
         QRect(FIconLabel->mapToGlobal(QPoint(0, 0)), FIconLabel->size()).contains(event->globalPosition().toPoint());
}

bool TeFrame::eventFilter(QObject* watched, QEvent* event) {
  const bool press = event->type() == QEvent::MouseButtonPress;
  if ((!press && event->type() != QEvent::MouseButtonDblClick) || !OnIcon(static_cast<QMouseEvent*>(event)))
    return QWidget::eventFilter(watched, event);
  bool closeWindow = false;
  if (watched == FIconLabel && press) {
    FIconPressed.start();
    ShowSystemMenu(FIconLabel->mapToGlobal(QPoint(0, FIconLabel->height())));
  } else if (watched == FIconLabel) {
    closeWindow = true;  // a double click the menu did not take
  } else if (press) {
    // The menu opened by the first click holds the mouse, so the second click on the
    // icon arrives here: it closes the menu, and within the double-click time the
    // window too. It must not reach the icon again and reopen the menu.
    closeWindow = FIconPressed.isValid() && FIconPressed.elapsed() <= QApplication::doubleClickInterval();
    FMenu->setAttribute(Qt::WA_NoMouseReplay);
    FMenu->close();
  }
  if (closeWindow) {
    FIconPressed.invalidate();
    if (FMenu != nullptr) FMenu->close();
    FWindow->close();
  }
  return true;
}

void TeFrame::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  // Let the window manager move the window; where it cannot, move it by hand.
  if (FWindow->windowHandle() && FWindow->windowHandle()->startSystemMove()) return;
  FDragging = true;
  FDragOffset = event->globalPosition().toPoint() - FWindow->frameGeometry().topLeft();
}

void TeFrame::mouseMoveEvent(QMouseEvent* event) {
  if (FDragging) FWindow->move(event->globalPosition().toPoint() - FDragOffset);
}

void TeFrame::mouseReleaseEvent(QMouseEvent* event) {
  FDragging = false;
  if (event->button() == Qt::RightButton) ShowSystemMenu(event->globalPosition().toPoint());
}
