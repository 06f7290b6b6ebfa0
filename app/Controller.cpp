#include <QCheckBox>
#include <QTimer>
#include <algorithm>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "Form1.h"
#include "GetTimeClientThread.h"
#include "NistServers.h"
#include "Platform/ExePath.h"
#include "SettingsPath.h"
#include "StrToInt.h"
#include "System/IdException.h"

namespace {

// Drops leading and trailing characters of code 32 and below.
std::string TrimControlChars(const std::string& text) {
  const auto keep = [](char c) { return static_cast<unsigned char>(c) > 32; };
  const auto first = std::find_if(text.begin(), text.end(), keep);
  const auto last = std::find_if(text.rbegin(), text.rend(), keep).base();
  return first < last ? std::string(first, last) : std::string();
}

// QTimer counts in a signed 32-bit number of milliseconds.
constexpr std::int64_t MaxSyncMinutes = 0x7FFFFFFF / 60000;

}  // namespace

void TForm1::FormCreate() {
  SetServer(DefaultServer);
  FServerType = 0;
  IdSNTP1->SetHost(Server());
  IdSNTP1->ReceiveTimeout = 10000;
  IdTimeUDP1->SetHost(Server());
  IdTimeUDP1->ReceiveTimeout = 10000;
  FQueryBusy = false;
  FSettingClock = false;
  // The worker's first step runs on this thread, so only once start-up is over:
  // it sees the settings loaded below.
  StartQuery();
  const std::string exePath = Platform::ExecutablePath();
  FAppDir = exePath.substr(0, exePath.find_last_of("/\\") + 1);
  const TSettingsPaths settings = ChooseSettingsPaths(FindSettingsPlaces(FAppDir));
  FIni = std::make_unique<TIniFile>(settings.Load);
  LoadSettings();
  if (settings.Save != settings.Load) FIni = std::make_unique<TIniFile>(settings.Save);
  FSyncOnStartPending = ckSyncOnStart->isChecked();
  ckNistServerClick();
  ckCustomServerClick();
  ckSyncTimeClick();
  ckRunTimeServerClick();
}

void TForm1::FormDestroy() {
  SaveSettings();
  if (FIni) FIni->Flush();
  FIni.reset();
}

void TForm1::StartQuery() {
  if (FQueryBusy.load(std::memory_order_acquire)) return;
  FQueryBusy = true;
  try {
    TGetTimeClientThread::Start(FQueryLink);
  } catch (...) {
    FQueryBusy = false;
    throw;
  }
}

void TForm1::ChooseServer() {
  TeSEdit1->setText(QStringLiteral("Connecting time sever..."));
  if (ckCustomServer->isChecked()) {
    const std::string address = TrimControlChars(edtServer->text().toStdString());
    if (!address.empty()) {
      SetServer(address);
      FUseNistList = false;
      FServerType = cbSeverType->currentIndex();
    }
  }
  if (ckNistServer->isChecked()) {
    SetServer(DefaultServer);
    FUseNistList = true;
    FServerType = 0;
  }
  ShowCurrentServer();
}

void TForm1::ShowCurrentServer() {
  labCurServer->setText(QStringLiteral("Current Server: ") + QString::fromStdString(Server()));
}

void TForm1::TeButton2Click() { StartQuery(); }

void TForm1::cbSeverTypeChange() {
  FServerType = cbSeverType->currentIndex();
  StartQuery();
}

void TForm1::ckNistServerClick() {
  if (!ckNistServer->isChecked()) return;
  edtServer->setEnabled(false);
  cbSeverType->setEnabled(false);
  StartQuery();
}

void TForm1::ckCustomServerClick() {
  if (!ckCustomServer->isChecked()) return;
  edtServer->setEnabled(true);
  cbSeverType->setEnabled(true);
  StartQuery();
}

void TForm1::ckSyncTimeClick() {
  const std::string text = edtSyncTime->text().toStdString();
  std::int32_t minutes = 0;
  if (!TryStrToInt(text, minutes)) throw Exception("'" + text + "' is not a valid integer value");
  // A count below one minute gives the minimum, one beyond the timer's range its
  // largest whole-minute period; the interval never wraps.
  const std::int64_t clamped = std::clamp<std::int64_t>(minutes, 1, MaxSyncMinutes);
  const int interval = static_cast<int>(clamped * 60000);
  if (SyncTimer->interval() != interval) SyncTimer->setInterval(interval);
  const bool enabled = ckSyncTime->isChecked();
  if (SyncTimer->isActive() != enabled) {
    if (enabled)
      SyncTimer->start();
    else
      SyncTimer->stop();
  }
}

void TForm1::ckRunTimeServerClick() {
  try {
    IdTimeUDPServer1->SetActive(ckRunTimeServer->isChecked());
  } catch (const std::exception&) {
    // Switching the server reports nothing: without the port the box stays ticked and the server off.
  }
}
