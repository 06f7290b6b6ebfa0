// The settings in a real window (offscreen): loading them through the controls,
// saving them, where the file lives, the start-with-the-session entry, and ending
// through the normal path on a signal. Every test gets its own settings file and
// its own XDG_CONFIG_HOME in a temporary folder.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "AppTestSupport.h"
#include "Form1.h"
#include "NistServers.h"
#include "Platform/ExePath.h"
#include "Protocols/IdRequestPacer.h"
#include "QuitOnSignal.h"
#include "RunAtStartup.h"
#include "SettingsPath.h"
#include "Support/TestHelpers.h"
#include "System/IdException.h"

using namespace KestrineTest;
using namespace std::chrono_literals;

namespace {

// Closes every message box that opens while it lives and keeps its text, so a
// test sees what the user would have seen and never waits on a modal box.
class TBoxCatcher {
public:
  TBoxCatcher() {
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
      for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) {
          Texts.push_back(box->text().toStdString());
          box->done(0);
        }
    });
    FTimer.start(10);
  }
  std::vector<std::string> Texts;

private:
  QTimer FTimer;
};

// Every key but the Time server's away from its default. Switching that server
// off waits for its listener and meanwhile runs the query worker's pending steps,
// which would change the server address under the test.
const char* const AllChanged =
    "[Common]\nbNISTServer=0\nServerType=1\nTimeServer=192.0.2.7\nServerProtocol=1\nckSyncTime=1\n"
    "edtSyncTime=5\nckRunStartup=1\nckSyncOnStart=1\nckTimeLocaFormat=1\n";

class SettingsTest : public ::testing::Test {
protected:
  void SetUp() override {
    TIdRequestPacer::Default().SetMinInterval(0ms);
    char pattern[] = "/tmp/kestrine-settings-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    Folder = pattern;
    if (const char* home = std::getenv("HOME")) Home = home;
    SetConfigHome(Folder + "/config");
  }

  void TearDown() override {
    if (Form) CloseForm(Form);
    TIdRequestPacer::Default().SetMinInterval(4000ms);
    unsetenv("XDG_CONFIG_HOME");
    if (Home) setenv("HOME", Home->c_str(), 1);
    std::filesystem::remove_all(Folder);
  }

  static void SetConfigHome(const std::string& path) { setenv("XDG_CONFIG_HOME", path.c_str(), 1); }
  std::string IniPath() const { return Folder + "/settings.ini"; }
  std::string EntryPath() const { return Folder + "/config/autostart/VantorTimeSync.desktop"; }

  // Loads the file holding `contents` (no file at all without them) into the
  // window, as start-up does; the window is made on first use.
  void Load(const std::optional<std::string>& contents) {
    if (!Form) Form = std::make_unique<TForm1>();
    std::filesystem::remove(IniPath());
    if (contents) WriteFile(IniPath(), *contents);
    Form->FIni = std::make_unique<TIniFile>(IniPath());
    Form->LoadSettings();
  }

  static std::string EntryFor(const std::string& exec) {
    return "[Desktop Entry]\nType=Application\nName=Kestrine\nExec=" + exec + "\nX-GNOME-Autostart-enabled=true\n";
  }

  std::string Folder;
  std::optional<std::string> Home;
  std::unique_ptr<TForm1> Form;
};

TEST_F(SettingsTest, StartUpReadsTheFileBesideTheProgramAndEachKeyGoesBackToItsDefaultWithoutAFile) {
  Form = std::make_unique<TForm1>();
  const std::string program = Platform::ExecutablePath();
  EXPECT_EQ(Form->FIni->FileName(), program.substr(0, program.rfind('/') + 1) + "settings.ini");

  Load(AllChanged);
  EXPECT_TRUE(Form->ckCustomServer->isChecked());
  EXPECT_TRUE(Form->edtServer->isEnabled()) << "checking the custom server runs its handler";
  EXPECT_EQ(Form->FServerType, 1);
  EXPECT_EQ(Form->Server(), "192.0.2.7");
  EXPECT_EQ(Form->cbSeverType->currentText(), "Time");
  EXPECT_TRUE(Form->ckSyncTime->isChecked() && Form->SyncTimer->isActive());
  EXPECT_EQ(Text(Form->edtSyncTime), "5");
  EXPECT_TRUE(Form->ckRunStartup->isChecked());
  EXPECT_TRUE(std::filesystem::exists(EntryPath())) << "checking the box writes the start-up entry";
  EXPECT_TRUE(Form->ckSyncOnStart->isChecked());
  EXPECT_TRUE(Form->ckTimeLocaFormat->isChecked());

  Load(std::nullopt);
  EXPECT_TRUE(Form->ckNistServer->isChecked() && Form->FUseNistList);
  EXPECT_FALSE(Form->edtServer->isEnabled());
  EXPECT_EQ(Form->FServerType, 0);
  EXPECT_EQ(Form->Server(), DefaultServer);
  EXPECT_EQ(Text(Form->edtServer), DefaultServer);
  EXPECT_EQ(Form->cbSeverType->currentText(), "SNTP");
  EXPECT_FALSE(Form->ckSyncTime->isChecked() || Form->SyncTimer->isActive());
  EXPECT_EQ(Text(Form->edtSyncTime), "60");
  EXPECT_FALSE(Form->ckRunStartup->isChecked());
  EXPECT_FALSE(std::filesystem::exists(EntryPath())) << "unchecking the box deletes the start-up entry";
  EXPECT_FALSE(Form->ckSyncOnStart->isChecked());
  EXPECT_TRUE(Form->ckUTCFormat->isChecked() && !Form->ckTimeLocaFormat->isChecked());
  EXPECT_FALSE(Form->ckRunTimeServer->isChecked() || Form->IdTimeUDPServer1->Active());
}

TEST_F(SettingsTest, IntegerKeysTakeDecimalOrHexadecimalAndAnythingElseGivesTheDefault) {
  const struct {
    const char* Saved;
    const char* Shown;
  } cases[] = {
      {"abc", "60"},        {"", "60"},           {"2147483648", "60"}, {"99999999999", "60"}, {"12abc", "60"},
      {"0x", "60"},         {"0x1E", "30"},       {"0X1e", "30"},       {"$1E", "30"},         {"x1E", "30"},
      {"  42  ", "42"},     {"\"15\"", "15"},     {"-12", "-12"},       {"+7", "7"},           {"0xFFFFFFFF", "-1"},
      {"2147483647", "2147483647"},
  };
  for (const auto& c : cases) {
    Load(std::string("[Common]\nedtSyncTime=") + c.Saved + "\n");
    EXPECT_EQ(Text(Form->edtSyncTime), c.Shown) << "saved as '" << c.Saved << "'";
  }
}

TEST_F(SettingsTest, AnyNistFlagButZeroSelectsTheListAndEachKeyLoadsOnItsOwn) {
  const struct {
    const char* Saved;
    bool Nist;
  } cases[] = {{"1", true}, {"-1", true}, {"7", true}, {"0", false}, {"junk", true}, {"0x0", false}};
  for (const auto& c : cases) {
    Load(std::string("[Common]\nbNISTServer=") + c.Saved +
         "\nServerType=5\nTimeServer=time.example\nServerProtocol=1\n");
    EXPECT_EQ(Form->ckNistServer->isChecked(), c.Nist) << c.Saved;
    EXPECT_EQ(Form->ckCustomServer->isChecked(), !c.Nist) << c.Saved;
    EXPECT_EQ(Form->FUseNistList, c.Nist) << c.Saved;
    EXPECT_EQ(Form->edtServer->isEnabled(), !c.Nist) << c.Saved;
    // The protocol list is set from its own key and leaves the type as loaded.
    EXPECT_EQ(Form->FServerType, 5) << c.Saved;
    EXPECT_EQ(Form->cbSeverType->currentText(), "Time");
    EXPECT_EQ(Text(Form->edtServer), "time.example");
    EXPECT_EQ(Form->Server(), "time.example");
  }
}

TEST_F(SettingsTest, AStartUpEntryThatCannotBeWrittenStopsNoKeyAfterItAndShowsNothing) {
  WriteFile(Folder + "/file", "");
  SetConfigHome(Folder + "/file/config");  // its folder cannot be made under a file
  TBoxCatcher boxes;
  Load("[Common]\nckRunStartup=1\nckSyncOnStart=1\nckTimeLocaFormat=1\nckRunTimeServer=1\n");
  PumpFor(50ms);
  EXPECT_TRUE(boxes.Texts.empty()) << boxes.Texts.front();
  EXPECT_TRUE(Form->ckRunStartup->isChecked());
  EXPECT_TRUE(Form->ckSyncOnStart->isChecked());
  EXPECT_TRUE(Form->ckTimeLocaFormat->isChecked());
  EXPECT_TRUE(Form->ckRunTimeServer->isChecked() && Form->IdTimeUDPServer1->Active());
}

TEST_F(SettingsTest, SavingWritesTheTenKeysInOrderWithTheServerLastUsed) {
  Load("[Common]\nbNISTServer=0\nServerType=1\nServerProtocol=1\nckSyncTime=1\nckSyncOnStart=1\n");
  Form->SetServer("10.9.8.7");
  Form->edtServer->setText(QStringLiteral("typed.example"));  // typed, never asked: not saved
  Form->edtSyncTime->setText(QStringLiteral("abc"));          // saved as typed
  Form->FIni = std::make_unique<TIniFile>(Folder + "/saved.ini");
  Form->SaveSettings();
  EXPECT_EQ(ReadFile(Folder + "/saved.ini"),
            "[Common]\nbNISTServer=0\nServerType=1\nTimeServer=10.9.8.7\nServerProtocol=1\nckSyncTime=1\n"
            "edtSyncTime=abc\nckRunStartup=0\nckSyncOnStart=1\nckTimeLocaFormat=0\nckRunTimeServer=0\n");

  Form->ckNistServer->setChecked(true);
  Form->FUseNistList = true;
  Form->SaveSettings();
  EXPECT_EQ(TIniFile(Folder + "/saved.ini").ReadString("common", "BNISTSERVER", ""), "-1");
}

TEST_F(SettingsTest, TheStartUpEntryIsWrittenDeletedAndBroughtUpToDateAtStart) {
  const std::string program = Platform::ExecutablePath();
  ASSERT_EQ(program.find_first_of("\"`$\\% "), std::string::npos) << "the test expects a plain path";
  const std::string entry = EntryFor("\"" + program + "\"");
  Load(std::nullopt);
  TBoxCatcher boxes;

  Form->ckRunStartup->click();
  EXPECT_EQ(ReadFile(EntryPath()), entry);
  Form->ckRunStartup->click();
  EXPECT_FALSE(std::filesystem::exists(EntryPath()));
  SetRunAtStartup(RunAtStartupName, "");  // deleting what is not there is no failure

  WriteFile(EntryPath(), EntryFor("\"/old/place/kestrine\""));
  Load("[Common]\nckRunStartup=1\n");
  EXPECT_EQ(ReadFile(EntryPath()), entry);
  EXPECT_TRUE(boxes.Texts.empty());
}

TEST_F(SettingsTest, TheEntryQuotesThePathAsDesktopEntriesRequire) {
  SetRunAtStartup(RunAtStartupName, "/opt/odd dir/a\"b`c$d\\e%f");
  EXPECT_EQ(ReadFile(EntryPath()), EntryFor(R"("/opt/odd dir/a\\"b\\`c\\$d\\\\e%%f")"));
}

TEST_F(SettingsTest, AStartUpEntryThatCannotBeWrittenShowsItsFailureWhenTheUserClicks) {
  WriteFile(Folder + "/file", "");
  const struct {
    std::string ConfigHome;
    std::string Shown;
  } cases[] = {
      {Folder + "/file/config", "Failed to create key " + Folder + "/file/config/autostart."},
      {Folder + "/config", "Failed to set data for 'VantorTimeSync'"},
  };
  std::filesystem::create_directories(EntryPath());  // a folder where the entry goes
  Load(std::nullopt);
  for (const auto& c : cases) {
    SetConfigHome(c.ConfigHome);
    TBoxCatcher boxes;
    Form->ckRunStartup->click();
    EXPECT_EQ(boxes.Texts, std::vector<std::string>{c.Shown});
    EXPECT_TRUE(Form->ckRunStartup->isChecked());
    boxes.Texts.clear();
    Form->ckRunStartup->click();
    PumpFor(30ms);
    EXPECT_TRUE(boxes.Texts.empty()) << "deleting reports nothing";
  }
}

TEST(SettingsPathTest, TheProgramFolderUnlessItCannotBeWrittenThenTheUsersFolder) {
  const std::string program = "/opt/kestrine/settings.ini";
  const std::string user = "/home/u/.config/Kestrine/settings.ini";
  const struct {
    bool Writable, ProgramFile, UserFile;
    const char* UserFolder;
    std::string Load, Save;
  } cases[] = {
      {true, false, false, "/home/u/.config/Kestrine/", program, program},
      {true, false, true, "/home/u/.config/Kestrine/", program, program},
      {false, false, false, "/home/u/.config/Kestrine/", user, user},
      {false, false, true, "/home/u/.config/Kestrine/", user, user},
      {false, true, false, "/home/u/.config/Kestrine/", program, user},  // the first start takes the program's file
      {false, true, true, "/home/u/.config/Kestrine/", user, user},
      {false, true, true, "", program, program},  // no home: nowhere else to go
  };
  for (const auto& c : cases) {
    const TSettingsPaths paths =
        ChooseSettingsPaths({"/opt/kestrine/", c.Writable, c.ProgramFile, c.UserFolder, c.UserFile});
    EXPECT_EQ(paths.Load, c.Load) << c.Writable << c.ProgramFile << c.UserFile << c.UserFolder;
    EXPECT_EQ(paths.Save, c.Save) << c.Writable << c.ProgramFile << c.UserFile << c.UserFolder;
  }
}

TEST_F(SettingsTest, ThePlacesComeFromTheFileSystemAndXdgConfigHome) {
  WriteFile(Folder + "/program/settings.ini", "");
  WriteFile(Folder + "/file", "");
  TSettingsPlaces places = FindSettingsPlaces(Folder + "/program/");
  EXPECT_TRUE(places.ProgramFolderWritable && places.ProgramFileExists);
  EXPECT_EQ(places.UserFolder, Folder + "/config/Kestrine/");
  EXPECT_FALSE(places.UserFileExists);

  WriteFile(Folder + "/config/Kestrine/settings.ini", "");
  places = FindSettingsPlaces(Folder + "/file/");  // a folder under a file cannot be written, even by root
  EXPECT_FALSE(places.ProgramFolderWritable || places.ProgramFileExists);
  EXPECT_TRUE(places.UserFileExists);

  SetConfigHome("relative/config");  // not absolute: ignored for ~/.config
  setenv("HOME", (Folder + "/home").c_str(), 1);
  EXPECT_EQ(FindSettingsPlaces(Folder + "/program/").UserFolder, Folder + "/home/.config/Kestrine/");
}

TEST(QuitOnSignalTest, EachSignalEndsTheEventLoop) {
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    struct sigaction current {};
    sigaction(signal, nullptr, &current);
    if (current.sa_handler == SIG_IGN) continue;  // ignored from the start (nohup): stays ignored
    const TQuitOnSignal quitOnSignal;
    bool timedOut = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
      timedOut = true;
      QCoreApplication::quit();
    });
    guard.start(5000);
    QTimer::singleShot(0, [signal] { std::raise(signal); });
    QCoreApplication::exec();
    EXPECT_FALSE(timedOut) << "signal " << signal;
  }
}

}  // namespace
