#include "Form1.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QIcon>
#include <QShortcut>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>

#include "AppTitle.h"
#include "ErrorBox.h"
#include "Frame.h"
#include "Style.h"
#include "TrayIcon.h"
#include "GetTimeClientThread.h"
#include "MainThreadPump.h"
#include "TimeChangeNotifier.h"
#include "NistServers.h"
#include "RegionalSettings.h"
#include "System/IdException.h"

namespace {

template <class T>
T* Make(QWidget* parent, const char* name, const char* caption, int left, int top, int width, int height) {
  auto* control = new T(parent);
  control->setObjectName(QString::fromLatin1(name));
  if constexpr (std::is_same_v<T, QLineEdit>)
    control->setText(QString::fromLatin1(caption));
  else if constexpr (std::is_same_v<T, QGroupBox>)
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

}  // namespace

static void LoadResources() { Q_INIT_RESOURCE(kestrine); }  // the icon lives in this static library

TForm1::TForm1(QWidget* parent) : QWidget(parent), FQueryLink(std::make_shared<TQueryLink>()) {
  LoadResources();
  MainThreadPump::Install();
  FQueryLink->Form = this;
  CreateControls();

  // The components' stored properties.
  IdSNTP1 = std::make_shared<TIdSNTP>();
  IdSNTP1->SetPort(123);
  IdSNTP1->SetHost(DefaultServer);
  try {
    IdSNTP1->SetActive(true);  // the client holds its socket from start-up
  } catch (const Exception&) {
    // The first send opens it instead.
  }
  IdTimeUDP1 = std::make_shared<TIdTimeUDP>();
  IdTimeUDP1->BaseDate = 2.0;
  IdTimeUDPServer1 = std::make_unique<TIdTimeUDPServer>();
  IdTimeUDPServer1->BaseDate = 2.0;
  IdTimeUDPServer1->ThreadedEvent = false;
  FQueryLink->SNTP = IdSNTP1;
  FQueryLink->TimeUDP = IdTimeUDP1;

  ConnectHandlers();
  // A failure in the creation handler is reported like any handler's; the window is still made.
  Handle(&TForm1::FormCreate);
}

TForm1::~TForm1() {
  Timer1->stop();
  SyncTimer->stop();
  FormDestroy();
  // A worker still running must find the window gone and end without touching it:
  // its pending and later steps on this thread fail, its waits and its blocked
  // receive end now.
  FQueryLink->Detach();
  IdTimeUDPServer1.reset();  // closes the server; its listener has ended when this returns
}

void TForm1::CreateControls() {
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
  SetFontColor(TeSEdit2, 255);
  TeLabel3 = Make<QLabel>(client, "TeLabel3", "Difference:", 8, 88, 52, 13);
  TeSEdit3 = MakeClockBox(client, "TeSEdit3", 88);
  SetFontColor(TeSEdit3, 0);
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

  const QIcon icon(QStringLiteral(":/kestrine.png"));
  setWindowIcon(icon);  // the taskbar's picture; the window has none of its own beyond the application's
  TeForm1 = new TeFrame(this, ClientArea, icon, QString::fromLatin1(ApplicationTitle));
  TeForm1->OnMinimize = [this] { TeForm1Minimize(); };
  auto* closeShortcut = new QShortcut(QKeySequence(QStringLiteral("Alt+F4")), this);
  connect(closeShortcut, &QShortcut::activated, this, &QWidget::close);

  setTabOrder(TeButton1, TeSEdit1);
  setTabOrder(TeSEdit1, TeSEdit2);
  setTabOrder(TeSEdit2, TeButton2);
  setTabOrder(TeButton2, TeSEdit3);
  setTabOrder(TeSEdit3, TePageControl1);

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(500);
  SyncTimer = new QTimer(this);
  SyncTimer->setObjectName(QStringLiteral("SyncTimer"));
  SyncTimer->setInterval(500);
}

void TForm1::Handle(void (TForm1::*handler)()) {
  try {
    (this->*handler)();
  } catch (const EClockNotSet& error) {
    // A periodic synchronization without the right to set the clock must not pile
    // boxes up: while one refusal is on screen, the next ones are dropped.
    if (FClockErrorShown) return;
    FClockErrorShown = true;
    ShowErrorBox(this, error.Message());
    FClockErrorShown = false;
  } catch (const std::exception& error) {
    ShowErrorBox(this, error.what());
  }
}

void TForm1::ConnectHandlers() {
  connect(TeButton2, &QPushButton::clicked, this, [this] { Handle(&TForm1::TeButton2Click); });
  connect(cbSeverType, &QComboBox::activated, this, [this] { Handle(&TForm1::cbSeverTypeChange); });
  // Radio buttons run their handler when they become checked, by the user or the program.
  connect(ckNistServer, &QRadioButton::toggled, this, [this](bool on) {
    if (on) Handle(&TForm1::ckNistServerClick);
  });
  connect(ckCustomServer, &QRadioButton::toggled, this, [this](bool on) {
    if (on) Handle(&TForm1::ckCustomServerClick);
  });
  // Check boxes run theirs on every change of state.
  connect(ckSyncTime, &QCheckBox::toggled, this, [this] { Handle(&TForm1::ckSyncTimeClick); });
  connect(ckRunTimeServer, &QCheckBox::toggled, this, [this] { Handle(&TForm1::ckRunTimeServerClick); });
  connect(ckRunStartup, &QCheckBox::toggled, this, [this] { Handle(&TForm1::ckRunStartupClick); });
  connect(TeButton1, &QPushButton::clicked, this, [this] { Handle(&TForm1::TeButton1Click); });
  connect(SyncTimer, &QTimer::timeout, this, [this] { Handle(&TForm1::SyncTimerTimer); });
  connect(Timer1, &QTimer::timeout, this, [this] { Handle(&TForm1::Timer1Timer); });
  FTimeChangeNotifier = new TTimeChangeNotifier([this] { Handle(&TForm1::WMTimeChange); }, this);
  Timer1->start();
}

void TForm1::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LocaleChange) ReloadUserFormatSettings();
  // A minimize from outside (window manager, taskbar) goes to the notification area too.
  if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) &&
      TeForm1->TrayAvailable() && TeForm1->State() != TFrameState::InTray)
    QTimer::singleShot(0, this, [this] {
      setWindowState(windowState() & ~Qt::WindowMinimized);
      TeForm1Minimize();
    });
  QWidget::changeEvent(event);
}

void TForm1::closeEvent(QCloseEvent* event) {
  // Closing the window ends the program, also from the notification area's menu.
  QWidget::closeEvent(event);
  QCoreApplication::quit();
}

void TForm1::TeForm1Minimize() { TeForm1->MoveToTray(); }

void TForm1::SetFontColor(QLineEdit* box, int color) {
  const QColor wanted(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
  if (box->palette().color(QPalette::Text) == wanted) return;  // the tick sets it twice a second
  QPalette palette = box->palette();
  palette.setColor(QPalette::Text, wanted);
  box->setPalette(palette);
}

int TForm1::FontColor(const QLineEdit* box) {
  const QColor color = box->palette().color(QPalette::Text);
  return color.red() | color.green() << 8 | color.blue() << 16;
}

std::string TForm1::Server() const {
  std::lock_guard guard(FServerLock);
  return FServer;
}

void TForm1::SetServer(const std::string& value) {
  std::lock_guard guard(FServerLock);
  FServer = value;
}
