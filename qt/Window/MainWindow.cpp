// SPDX-License-Identifier: MIT
#include "MainWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGroupBox>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSocketNotifier>
#include <QTabWidget>
#include <QTimer>

#include "CaptionBar.h"
#include "Form/AppTitle.h"
#include "Form/ControlTable.h"
#include "MainThreadPump.h"
#include "RegionalSettings.h"
#include "Style.h"
#include "TrayIcon.h"

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToUtf8(const QString& text) { return text.toUtf8().toStdString(); }

namespace {

// Read-only and centred; a text longer than the box shows its beginning, not its end.
QLineEdit* MakeClockBox(QWidget* parent) {
  auto* box = new QLineEdit(parent);
  box->setReadOnly(true);
  box->setAlignment(Qt::AlignCenter);
  QObject::connect(box, &QLineEdit::textChanged, box, [box] {
    QMetaObject::invokeMethod(
        box, [box] { box->setCursorPosition(0); }, Qt::QueuedConnection);
  });
  return box;
}

template <class T>
T* MakeButton(QWidget* parent, const TControlSpec& spec) {
  auto* button = new T(parent);
  button->setChecked(spec.Checked);
  return button;
}

// A caption at the top of its place, as a Windows label draws it, whatever the place's height.
QLabel* MakeLabel(QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

QWidget* MakeWidget(const TControlSpec& spec, QWidget* parent) {
  switch (spec.Kind) {
    case TControlKind::Label: return MakeLabel(parent);
    case TControlKind::ClockBox: return MakeClockBox(parent);
    case TControlKind::Edit: return new QLineEdit(parent);
    case TControlKind::Button: return new QPushButton(parent);
    case TControlKind::PageControl: return new QTabWidget(parent);
    case TControlKind::Page: {
      auto* page = new QWidget;
      static_cast<QTabWidget*>(parent)->addTab(page, QString::fromUtf8(spec.Caption));
      return page;
    }
    case TControlKind::RadioButton: return MakeButton<QRadioButton>(parent, spec);
    case TControlKind::CheckBox: return MakeButton<QCheckBox>(parent, spec);
    case TControlKind::GroupBox: return new QGroupBox(QString::fromUtf8(spec.Caption), parent);
    case TControlKind::List: {
      auto* list = new QComboBox(parent);
      for (const char* item : spec.Items) list->addItem(QString::fromUtf8(item));
      list->setCurrentIndex(0);
      return list;
    }
  }
  return nullptr;
}

void SetCaption(QWidget* control, const QString& caption) {
  if (auto* label = qobject_cast<QLabel*>(control)) label->setText(caption);
  if (auto* edit = qobject_cast<QLineEdit*>(control)) edit->setText(caption);
  if (auto* button = qobject_cast<QAbstractButton*>(control)) button->setText(caption);
}

void Place(QWidget* control, const TControlSpec& spec) {
  if (spec.Kind == TControlKind::Page) return;  // the page control places its pages
  // Measured in the window's font, which the control inherits.
  control->ensurePolished();
  const int width = WidensToCaption(spec.Kind) ? std::max(spec.Width, control->sizeHint().width()) : spec.Width;
  control->setGeometry(spec.Left, spec.Top, width, spec.Height);
}

QColor WindowsColor(int color) { return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF); }

// Read as PNG by name: a reader left to guess would load every image format
// plugin (and libjpeg with them) to ask each whether it reads PNG.
QIcon ProgramIcon() {
  QImageReader reader(QStringLiteral(":/kestrine.png"), "png");
  reader.setAutoDetectImageFormat(false);
  return QIcon(QPixmap::fromImage(reader.read()));
}

}  // namespace

static void LoadResources() { Q_INIT_RESOURCE(kestrine); }  // the icon lives in this static library

TMainWindow::TMainWindow(TFormOptions options, QWidget* parent) : QWidget(parent) {
  LoadResources();
  MainThreadPump::Install();
  CreateControls();
  CreateFrame();
  FForm = std::make_unique<TForm1>(*this, std::move(options));
  ConnectEvents();
}

TMainWindow::~TMainWindow() { FForm.reset(); }

void TMainWindow::CreateControls() {
  constexpr TFormSpec form = FormSpec();
  setObjectName(QString::fromLatin1(form.Name));
  setWindowTitle(QString::fromUtf8(form.Caption));
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint);  // the frame is our own
  setAttribute(Qt::WA_StyledBackground);
  ApplyKestrineLook(this);
  move(form.Left, form.Top);
  ClientArea = new QWidget(this);
  ClientArea->setObjectName(QStringLiteral("ClientArea"));
  ClientArea->resize(form.ClientWidth, form.ClientHeight);
  for (const TControlSpec& spec : ControlTable()) {
    QWidget* parent = spec.Parent ? Control(*spec.Parent) : ClientArea;
    QWidget* control = MakeWidget(spec, parent);
    control->setObjectName(QString::fromLatin1(spec.Name));
    SetCaption(control, QString::fromUtf8(spec.Caption));
    Place(control, spec);
    FControls[static_cast<std::size_t>(spec.Id)] = control;
  }
  // Tab order: the table's, among the client area's controls that take the keyboard.
  QWidget* previous = nullptr;
  for (const TControlSpec& spec : ControlTable()) {
    if (spec.Parent || spec.Kind == TControlKind::Label) continue;
    if (previous != nullptr) setTabOrder(previous, Control(spec.Id));
    previous = Control(spec.Id);
  }

  // Each box is named by its label, for the keyboard and for screen readers.
  for (const TBoxLabel& pair : BoxLabels()) {
    QWidget* box = Control(pair.Box);
    if (auto* label = Control<QLabel>(pair.Label)) label->setBuddy(box);  // not when a check box names it
    if (pair.Unit) Control<QLabel>(*pair.Unit)->setBuddy(box);
    box->setAccessibleName(FromUtf8(AccessibleName(pair)));
  }

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  SyncTimer = new QTimer(this);
  SyncTimer->setObjectName(QStringLiteral("SyncTimer"));

  for (const TControlSpec& spec : ControlTable())
    if (spec.FontColor >= 0) SetFontColor(spec.Id, spec.FontColor);
}

void TMainWindow::CreateFrame() {
  const QIcon icon = ProgramIcon();
  setWindowIcon(icon);  // the taskbar's picture; the window has none of its own beyond the application's
  constexpr TFormSpec form = FormSpec();
  CaptionBar = new TCaptionBar(this, icon);
  CaptionBar->setGeometry(form.Border, form.Border, form.ClientWidth, form.CaptionBarHeight);
  ClientArea->move(form.Border, form.Border + form.CaptionBarHeight);
  ApplySize();
  Tray = new TTrayIcon(icon, TFrameLogic::TrayMenu(), this);
  auto* closeShortcut = new QShortcut(QKeySequence(QStringLiteral("Alt+F4")), this);
  connect(closeShortcut, &QShortcut::activated, this, &QWidget::close);
}

void TMainWindow::ConnectEvents() {
  TForm1* form = FForm.get();
  // Changes made by the logic come with signals blocked: these are the user's.
  for (const TControlSpec& spec : ControlTable()) {
    const TControl id = spec.Id;
    if (spec.Kind == TControlKind::Button)
      connect(Control<QPushButton>(id), &QPushButton::clicked, this, [form, id] { form->ButtonClicked(id); });
    if (spec.Kind == TControlKind::List)
      connect(Control<QComboBox>(id), &QComboBox::activated, this, [form, id] { form->ItemSelected(id); });
    if (spec.Kind == TControlKind::CheckBox || spec.Kind == TControlKind::RadioButton)
      connect(Control<QAbstractButton>(id), &QAbstractButton::toggled, this, [form, id] { form->ControlChanged(id); });
  }
  connect(Timer1, &QTimer::timeout, this, [form] { form->TimerFired(TTimerId::Timer1); });
  connect(SyncTimer, &QTimer::timeout, this, [form] { form->TimerFired(TTimerId::SyncTimer); });
  if (form->TimeChangeHandle() >= 0) {
    auto* notifier = new QSocketNotifier(form->TimeChangeHandle(), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [form] { form->TimeChangeHandleReadable(); });
  }
  CaptionBar->MenuItems = [form] { return form->TeForm1.SystemMenu(); };
  CaptionBar->OnCommand = [form](TFrameCommand command) { form->FrameCommand(command); };
  connect(Tray, &TTrayIcon::CommandChosen, this, [form](TFrameCommand command) { form->FrameCommand(command); });
}

std::string TMainWindow::Text(TControl control) const {
  QWidget* widget = Control(control);
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) return ToUtf8(edit->text());
  if (auto* label = qobject_cast<QLabel*>(widget)) return ToUtf8(label->text());
  return {};
}

// The clocks change once a second and the tick comes twice: an unchanged text or
// colour is not written again, which spares a repaint.
void TMainWindow::SetText(TControl control, const std::string& text) {
  const QString value = FromUtf8(text);
  QWidget* widget = Control(control);
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    if (edit->text() != value) edit->setText(value);
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    if (label->text() != value) label->setText(value);
  }
}

void TMainWindow::SetFontColor(TControl control, int color) {
  QWidget* widget = Control(control);
  const QColor wanted = WindowsColor(color);
  if (widget->palette().color(QPalette::Text) == wanted) return;
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Text, wanted);
  widget->setPalette(palette);
}

int TMainWindow::FontColor(const QLineEdit* box) {
  const QColor color = box->palette().color(QPalette::Text);
  return color.red() | color.green() << 8 | color.blue() << 16;
}

void TMainWindow::SetEnabled(TControl control, bool enabled) { Control(control)->setEnabled(enabled); }

bool TMainWindow::Checked(TControl control) const {
  auto* button = qobject_cast<QAbstractButton*>(Control(control));
  return button != nullptr && button->isChecked();
}

void TMainWindow::SetChecked(TControl control, bool checked) {
  auto* button = qobject_cast<QAbstractButton*>(Control(control));
  if (button == nullptr) return;
  const QSignalBlocker blocker(button);
  button->setChecked(checked);
}

int TMainWindow::ItemIndex(TControl control) const {
  auto* list = qobject_cast<QComboBox*>(Control(control));
  return list != nullptr ? list->currentIndex() : -1;
}

void TMainWindow::SetItemIndex(TControl control, int index) {
  auto* list = qobject_cast<QComboBox*>(Control(control));
  if (list == nullptr) return;
  const QSignalBlocker blocker(list);
  list->setCurrentIndex(index);
}

void TMainWindow::SetTimer(TTimerId timer, std::uint32_t intervalMs, bool enabled) {
  QTimer* qtimer = timer == TTimerId::Timer1 ? Timer1 : SyncTimer;
  qtimer->setInterval(static_cast<int>(std::min<std::uint32_t>(intervalMs, 0x7FFFFFFF)));
  if (enabled)
    qtimer->start();
  else
    qtimer->stop();
}

void TMainWindow::ShowErrorBox(const std::string& text) {
  QMessageBox box(QMessageBox::Critical, QString::fromLatin1(ApplicationTitle), FromUtf8(text), QMessageBox::Ok, this);
  box.setObjectName(QStringLiteral("ErrorBox"));
  box.exec();
}

bool TMainWindow::TrayAvailable() { return TrayAvailableTest ? TrayAvailableTest() : TTrayIcon::Available(); }

TBounds TMainWindow::WindowBounds() {
  const QRect bounds = geometry();
  return {bounds.left(), bounds.top(), bounds.width(), bounds.height()};
}

void TMainWindow::HideWindow() { hide(); }

void TMainWindow::ShowWindow(const TBounds* bounds) {
  if (bounds != nullptr) move(bounds->Left, bounds->Top);
  setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
}

void TMainWindow::MinimizeOrdinary() { showMinimized(); }

void TMainWindow::Unminimize() { setWindowState(windowState() & ~Qt::WindowMinimized); }

void TMainWindow::SetRolledUp(bool rolledUp) {
  FRolledUp = rolledUp;
  ClientArea->setVisible(!rolledUp);
  CaptionBar->ShowRolledUp(rolledUp);
  ApplySize();
}

void TMainWindow::ApplySize() {
  constexpr TFormSpec form = FormSpec();
  const int height = FRolledUp ? 0 : form.ClientHeight;
  setFixedSize(form.ClientWidth + 2 * form.Border, form.CaptionBarHeight + height + 2 * form.Border);
}

bool TMainWindow::ShowTrayIcon(const std::string& hint) {
  Tray->Show(FromUtf8(hint));
  return true;
}

void TMainWindow::RemoveTrayIcon() { Tray->Hide(); }

void TMainWindow::CloseWindow() { close(); }

void TMainWindow::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LocaleChange && FForm) FForm->SetUserFormat(FormatSettingsFromLocale(QLocale::system()));
  // A minimize from outside (window manager, taskbar) is the frame's to answer,
  // once this event is over: a state changed inside it would not be taken.
  if (event->type() == QEvent::WindowStateChange && FForm) {
    if (!(windowState() & Qt::WindowMinimized))
      FForm->TeForm1.NoLongerMinimized();
    else
      QTimer::singleShot(0, this, [this] {
        if (FForm && (windowState() & Qt::WindowMinimized)) FForm->MinimizedBySystem();
      });
  }
  QWidget::changeEvent(event);
}

void TMainWindow::closeEvent(QCloseEvent* event) {
  // Under the error box the logic still runs below: it asks again when the box ends.
  if (FForm && !FForm->CloseQuery()) {
    event->ignore();
    return;
  }
  // Closing the window ends the program, also from the notification area's menu.
  QWidget::closeEvent(event);
  QCoreApplication::quit();
}
