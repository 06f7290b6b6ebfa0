#include "Frame.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include "TrayIcon.h"

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
  FTrayButton = AddButton("TrayButton", QStringLiteral("Minimize to tray"), QStyle::SP_ArrowDown);
  FRollupButton = AddButton("RollupButton", QStringLiteral("Roll up"), QStyle::SP_TitleBarShadeButton);
  FMinimizeButton = AddButton("MinimizeButton", QStringLiteral("Minimize"), QStyle::SP_TitleBarMinButton);
  FCloseButton = AddButton("CloseButton", QStringLiteral("Close"), QStyle::SP_TitleBarCloseButton);
  connect(FTrayButton, &QToolButton::clicked, this, &TeFrame::Minimize);
  connect(FMinimizeButton, &QToolButton::clicked, this, &TeFrame::Minimize);
  connect(FRollupButton, &QToolButton::clicked, this,
          [this] { FState == TFrameState::RolledUp ? Unroll() : Rollup(); });
  connect(FCloseButton, &QToolButton::clicked, FWindow, &QWidget::close);
  connect(FWindow, &QWidget::windowTitleChanged, FCaption, &QLabel::setText);
  connect(FTray, &TTrayIcon::RestoreRequested, this, &TeFrame::RestoreFromTray);
  connect(FTray, &TTrayIcon::CloseRequested, FWindow, &QWidget::close);
  FMenuDelay = new QTimer(this);
  FMenuDelay->setSingleShot(true);
  connect(FMenuDelay, &QTimer::timeout, this,
          [this] { ShowSystemMenu(FIconLabel->mapToGlobal(QPoint(0, FIconLabel->height()))); });
  Layout();
  ApplySize();
}

QToolButton* TeFrame::AddButton(const char* name, const QString& accessibleName, QStyle::StandardPixmap pixmap) {
  auto* button = new QToolButton(this);
  button->setObjectName(QString::fromLatin1(name));
  button->setAccessibleName(accessibleName);
  button->setToolTip(accessibleName);
  button->setIcon(style()->standardIcon(pixmap));
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
  FRollupButton->setIcon(style()->standardIcon(QStyle::SP_TitleBarUnshadeButton));
  ApplySize();
}

void TeFrame::Unroll() {
  if (FState != TFrameState::RolledUp) return;
  FState = TFrameState::Normal;
  FClient->show();
  FRollupButton->setIcon(style()->standardIcon(QStyle::SP_TitleBarShadeButton));
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

void TeFrame::ShowSystemMenu(const QPoint& globalPosition) { SystemMenu()->popup(globalPosition); }

bool TeFrame::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FIconLabel) {
    if (event->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
      FMenuDelay->start(QApplication::doubleClickInterval());
      return true;
    }
    if (event->type() == QEvent::MouseButtonDblClick) {
      FMenuDelay->stop();
      FWindow->close();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
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
