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

#include "AppTitle.h"
#include "CaptionBar.h"
#include "MainThreadPump.h"
#include "RegionalSettings.h"
#include "Style.h"
#include "TrayIcon.h"

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToUtf8(const QString& text) { return text.toUtf8().toStdString(); }

namespace {

template <class T>
T* Make(QWidget* parent, const char* name, const char* caption, int left, int top, int width, int height) {
  auto* control = new T(parent);
  control->setObjectName(QString::fromLatin1(name));
  if constexpr (std::is_same_v<T, QGroupBox>)
    control->setTitle(QString::fromLatin1(caption));
  else if constexpr (requires { control->setText(QString()); })
    control->setText(QString::fromLatin1(caption));
  control->setGeometry(left, top, width, height);
  if constexpr (std::is_same_v<T, QLabel>) control->adjustSize();  // labels size themselves to their caption
  return control;
}

QLineEdit* MakeClockBox(QWidget* parent, const char* name, int top) {
  auto* box = Make<QLineEdit>(parent, name, "", 72, top, 233, 21);
  box->setReadOnly(true);
  box->setAlignment(Qt::AlignCenter);
  // A text longer than the box shows its beginning, not its end.
  QObject::connect(box, &QLineEdit::textChanged, box, [box] {
    QMetaObject::invokeMethod(box, [box] { box->setCursorPosition(0); }, Qt::QueuedConnection);
  });
  return box;
}

QWidget* MakePage(QTabWidget* pages, const char* name, const char* caption) {
  auto* page = new QWidget;
  page->setObjectName(QString::fromLatin1(name));
  pages->addTab(page, QString::fromLatin1(caption));
  return page;
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
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Kestrine "));
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint);  // the frame is our own
  setAttribute(Qt::WA_StyledBackground);
  setStyleSheet(KestrineStyleSheet());
  move(328, 176);
  ClientArea = new QWidget(this);
  ClientArea->setObjectName(QStringLiteral("ClientArea"));
  ClientArea->resize(352, 392);
  QWidget* const client = ClientArea;

  TeLabel1 = Make<QLabel>(client, "TeLabel1", "Server Time:", 8, 24, 60, 13);
  TeSEdit1 = MakeClockBox(client, "TeSEdit1", 24);
  TeLabel2 = Make<QLabel>(client, "TeLabel2", "Local Time:", 8, 56, 55, 13);
  TeSEdit2 = MakeClockBox(client, "TeSEdit2", 56);
  TeLabel3 = Make<QLabel>(client, "TeLabel3", "Difference:", 8, 88, 52, 13);
  TeSEdit3 = MakeClockBox(client, "TeSEdit3", 88);
  TeButton2 = Make<QPushButton>(client, "TeButton2", "Refresh", 104, 120, 75, 25);
  TeButton1 = Make<QPushButton>(client, "TeButton1", "Synchroize", 192, 120, 75, 25);
  TePageControl1 = Make<QTabWidget>(client, "TePageControl1", "", 8, 160, 337, 217);

  TeTabSheet1 = MakePage(TePageControl1, "TeTabSheet1", "Time Server");
  ckNistServer = Make<QRadioButton>(TeTabSheet1, "ckNistServer", "NIST Atomic Time Servers", 16, 16, 201, 20);
  ckNistServer->setChecked(true);
  ckCustomServer = Make<QRadioButton>(TeTabSheet1, "ckCustomServer", "Custom Time Server", 16, 48, 201, 20);
  TeScrollingLabel1 = Make<QLabel>(TeTabSheet1, "TeScrollingLabel1", "Server Address: ", 24, 80, 78, 13);
  edtServer = Make<QLineEdit>(TeTabSheet1, "edtServer", "", 112, 80, 201, 21);
  TeScrollingLabel2 = Make<QLabel>(TeTabSheet1, "TeScrollingLabel2", "Server Protocol: ", 24, 112, 79, 13);
  cbSeverType = Make<QComboBox>(TeTabSheet1, "cbSeverType", "", 112, 112, 57, 21);
  cbSeverType->addItems({QStringLiteral("SNTP"), QStringLiteral("Time")});
  cbSeverType->setCurrentIndex(0);
  labCurServer = Make<QLabel>(TeTabSheet1, "labCurServer", "Current Server: ", 24, 152, 289, 13);
  labCurServer->resize(289, labCurServer->height());  // room for the address that follows

  TeTabSheet2 = MakePage(TePageControl1, "TeTabSheet2", "Synchroniztion");
  ckSyncTime = Make<QCheckBox>(TeTabSheet2, "ckSyncTime", "Synchronize time every ", 16, 16, 129, 20);
  edtSyncTime = Make<QLineEdit>(TeTabSheet2, "edtSyncTime", "1", 152, 16, 33, 21);
  TeLabel4 = Make<QLabel>(TeTabSheet2, "TeLabel4", "minutes", 191, 18, 36, 13);
  ckRunStartup = Make<QCheckBox>(TeTabSheet2, "ckRunStartup", "Run program at windows startup", 16, 56, 265, 20);
  ckSyncOnStart =
      Make<QCheckBox>(TeTabSheet2, "ckSyncOnStart", "Synchronize time on program startup", 16, 96, 265, 20);

  TeTabSheet4 = MakePage(TePageControl1, "TeTabSheet4", "Misc");
  TeGroupBox1 = Make<QGroupBox>(TeTabSheet4, "TeGroupBox1", "Display Time Format", 8, 16, 305, 89);
  ckTimeLocaFormat = Make<QRadioButton>(TeGroupBox1, "ckTimeLocaFormat", "Local time format", 16, 16, 201, 20);
  ckTimeLocaFormat->setChecked(true);
  ckUTCFormat = Make<QRadioButton>(TeGroupBox1, "ckUTCFormat", "UTC", 16, 48, 201, 20);
  TeGroupBox2 = Make<QGroupBox>(TeTabSheet4, "TeGroupBox2", "Time Server", 8, 112, 305, 57);
  ckRunTimeServer = Make<QCheckBox>(TeGroupBox2, "ckRunTimeServer", "Run as local time server (Time protocol)", 16,
                                    24, 241, 20);

  // Each box is named by its label, for the keyboard and for screen readers.
  TeLabel1->setBuddy(TeSEdit1);
  TeLabel2->setBuddy(TeSEdit2);
  TeLabel3->setBuddy(TeSEdit3);
  TeScrollingLabel1->setBuddy(edtServer);
  TeScrollingLabel2->setBuddy(cbSeverType);
  TeLabel4->setBuddy(edtSyncTime);
  for (QLabel* label : {TeLabel1, TeLabel2, TeLabel3, TeScrollingLabel1, TeScrollingLabel2})
    label->buddy()->setAccessibleName(label->text().trimmed());
  edtSyncTime->setAccessibleName(QStringLiteral("Synchronize time every, minutes"));

  setTabOrder(TeButton1, TeSEdit1);
  setTabOrder(TeSEdit1, TeSEdit2);
  setTabOrder(TeSEdit2, TeButton2);
  setTabOrder(TeButton2, TeSEdit3);
  setTabOrder(TeSEdit3, TePageControl1);

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  SyncTimer = new QTimer(this);
  SyncTimer->setObjectName(QStringLiteral("SyncTimer"));

  FControls = {TeSEdit1,   TeSEdit2,     TeSEdit3,      TeButton1,    TeButton2,        ckNistServer,
               ckCustomServer, edtServer, cbSeverType, labCurServer, ckSyncTime,       edtSyncTime,
               ckRunStartup, ckSyncOnStart, ckTimeLocaFormat, ckUTCFormat, ckRunTimeServer};
  SetFontColor(TControl::TeSEdit2, 255);
  SetFontColor(TControl::TeSEdit3, 0);
}

void TMainWindow::CreateFrame() {
  const QIcon icon = ProgramIcon();
  setWindowIcon(icon);  // the taskbar's picture; the window has none of its own beyond the application's
  TeForm1 = new TCaptionBar(this, icon);
  TeForm1->setGeometry(TCaptionBar::Border, TCaptionBar::Border, ClientArea->width(), TCaptionBar::Height);
  ClientArea->move(TCaptionBar::Border, TCaptionBar::Border + TCaptionBar::Height);
  ApplySize();
  Tray = new TTrayIcon(icon, QString::fromLatin1(ApplicationTitle), this);
  auto* closeShortcut = new QShortcut(QKeySequence(QStringLiteral("Alt+F4")), this);
  connect(closeShortcut, &QShortcut::activated, this, &QWidget::close);
}

void TMainWindow::ConnectEvents() {
  TForm1* form = FForm.get();
  connect(TeButton1, &QPushButton::clicked, this, [form] { form->ButtonClicked(TControl::TeButton1); });
  connect(TeButton2, &QPushButton::clicked, this, [form] { form->ButtonClicked(TControl::TeButton2); });
  connect(cbSeverType, &QComboBox::activated, this, [form] { form->ItemSelected(TControl::cbSeverType); });
  // Changes made by the logic come with signals blocked: these are the user's.
  for (const TControl id : {TControl::ckNistServer, TControl::ckCustomServer, TControl::ckSyncTime,
                            TControl::ckRunStartup, TControl::ckSyncOnStart, TControl::ckTimeLocaFormat,
                            TControl::ckUTCFormat, TControl::ckRunTimeServer})
    connect(static_cast<QAbstractButton*>(Control(id)), &QAbstractButton::toggled, this,
            [form, id] { form->ControlChanged(id); });
  connect(Timer1, &QTimer::timeout, this, [form] { form->TimerFired(TTimerId::Timer1); });
  connect(SyncTimer, &QTimer::timeout, this, [form] { form->TimerFired(TTimerId::SyncTimer); });
  if (form->TimeChangeHandle() >= 0) {
    auto* notifier = new QSocketNotifier(form->TimeChangeHandle(), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [form] { form->TimeChangeHandleReadable(); });
  }
  TeForm1->MenuItems = [form] { return form->TeForm1.SystemMenu(); };
  TeForm1->OnCommand = [form](TFrameCommand command) { form->FrameCommand(command); };
  TeForm1->OnToggleRollup = [form] { form->TeForm1.ToggleRollup(); };
  connect(Tray, &TTrayIcon::RestoreRequested, this, [form] { form->FrameCommand(TFrameCommand::Restore); });
  connect(Tray, &TTrayIcon::CloseRequested, this, [form] { form->FrameCommand(TFrameCommand::Close); });
}

QWidget* TMainWindow::Control(TControl control) const { return FControls[static_cast<std::size_t>(control)]; }

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
  QMessageBox box(QMessageBox::Critical, QString::fromLatin1(ApplicationTitle), FromUtf8(text), QMessageBox::Ok,
                  this);
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

void TMainWindow::SetRolledUp(bool rolledUp) {
  FRolledUp = rolledUp;
  ClientArea->setVisible(!rolledUp);
  TeForm1->ShowRolledUp(rolledUp);
  ApplySize();
}

void TMainWindow::ApplySize() {
  const int height = FRolledUp ? 0 : ClientArea->height();
  setFixedSize(ClientArea->width() + 2 * TCaptionBar::Border,
               TCaptionBar::Height + height + 2 * TCaptionBar::Border);
}

bool TMainWindow::ShowTrayIcon(const std::string&) {
  Tray->Show();
  return true;
}

void TMainWindow::RemoveTrayIcon() { Tray->Hide(); }

void TMainWindow::CloseWindow() { close(); }

void TMainWindow::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LocaleChange && FForm) FForm->SetUserFormat(FormatSettingsFromLocale(QLocale::system()));
  // A minimize from outside (window manager, taskbar) goes to the notification area too.
  if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) && FForm &&
      TrayAvailable() && FForm->TeForm1.State() != TFrameState::InTray)
    QTimer::singleShot(0, this, [this] {
      setWindowState(windowState() & ~Qt::WindowMinimized);
      FForm->TeForm1Minimize();
    });
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
