// The settings: loading them into the controls, saving them, where the file
// lives, and the start-with-the-session entry. Every test gets its own settings
// file and its own XDG_CONFIG_HOME in a temporary folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Form/NistServers.h"
#include "Protocols/IdRequestPacer.h"
#include "Form/RunAtStartup.h"
#include "Form/SettingsPath.h"
#include "Support/TestHelpers.h"
#include "Form/FakeFormView.h"

using namespace KestrineTest;
using namespace std::chrono_literals;

namespace {

const std::string ProgramPath = "/opt/kestrine/kestrine";

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
    Window.reset();
    TIdRequestPacer::Default().SetMinInterval(4000ms);
    unsetenv("XDG_CONFIG_HOME");
    if (Home) setenv("HOME", Home->c_str(), 1);
    std::filesystem::remove_all(Folder);
  }

  static void SetConfigHome(const std::string& path) { setenv("XDG_CONFIG_HOME", path.c_str(), 1); }
  std::string IniPath() const { return Folder + "/settings.ini"; }
  std::string EntryPath() const { return Folder + "/config/autostart/VantorTimeSync.desktop"; }

  // Starts the program afresh with the settings file holding `contents` (no file
  // without them).
  void Start(const std::optional<std::string>& contents, const std::string& exePath = ProgramPath) {
    Window.reset();
    std::filesystem::remove(IniPath());
    if (contents) WriteFile(IniPath(), *contents);
    Window = std::make_unique<FakeWindow>(TSettingsPaths{IniPath(), IniPath()}, exePath);
  }

  // Loads the file holding `contents` into the running window, over what it shows.
  void Load(const std::optional<std::string>& contents) {
    if (!Window) Start(std::nullopt);
    std::filesystem::remove(IniPath());
    if (contents) WriteFile(IniPath(), *contents);
    Form().FIni = std::make_unique<TIniFile>(IniPath());
    Form().LoadSettings();
  }

  TForm1& Form() { return *Window->Form; }
  FakeFormView& View() { return Window->View; }
  FakeFormView::TControlState& At(TControl control) { return Window->View.At(control); }

  static std::string EntryFor(const std::string& exec) {
    return "[Desktop Entry]\nType=Application\nName=Kestrine\nExec=" + exec + "\nX-GNOME-Autostart-enabled=true\n";
  }

  std::string Folder;
  std::optional<std::string> Home;
  std::unique_ptr<FakeWindow> Window;
};

TEST_F(SettingsTest, StartUpReadsEveryKeyAndEachKeyGoesBackToItsDefaultWithoutAFile) {
  Start(AllChanged);
  EXPECT_TRUE(At(TControl::ckCustomServer).Checked && !At(TControl::ckNistServer).Checked);
  EXPECT_TRUE(At(TControl::edtServer).Enabled) << "checking the custom server runs its handler";
  EXPECT_EQ(Form().FServerType, 1);
  EXPECT_EQ(Form().FServer, "192.0.2.7");
  EXPECT_EQ(At(TControl::cbSeverType).ItemIndex, 1);
  EXPECT_TRUE(At(TControl::ckSyncTime).Checked);
  EXPECT_TRUE(View().Timer(TTimerId::SyncTimer).Enabled);
  EXPECT_EQ(View().Timer(TTimerId::SyncTimer).Interval, 5u * 60000) << "the interval as loaded, not the box's first 1";
  EXPECT_EQ(At(TControl::edtSyncTime).Text, "5");
  EXPECT_TRUE(At(TControl::ckRunStartup).Checked);
  EXPECT_TRUE(std::filesystem::exists(EntryPath())) << "checking the box writes the start-up entry";
  EXPECT_TRUE(At(TControl::ckSyncOnStart).Checked);
  EXPECT_TRUE(At(TControl::ckTimeLocaFormat).Checked && !At(TControl::ckUTCFormat).Checked);

  Load(std::nullopt);
  EXPECT_TRUE(At(TControl::ckNistServer).Checked && !At(TControl::ckCustomServer).Checked);
  EXPECT_TRUE(Form().FUseNistList);
  EXPECT_FALSE(At(TControl::edtServer).Enabled);
  EXPECT_EQ(Form().FServerType, 0);
  EXPECT_EQ(Form().FServer, DefaultServer);
  EXPECT_EQ(At(TControl::edtServer).Text, DefaultServer);
  EXPECT_EQ(At(TControl::cbSeverType).ItemIndex, 0);
  EXPECT_FALSE(At(TControl::ckSyncTime).Checked || View().Timer(TTimerId::SyncTimer).Enabled);
  EXPECT_EQ(At(TControl::edtSyncTime).Text, "60");
  EXPECT_FALSE(At(TControl::ckRunStartup).Checked);
  EXPECT_FALSE(std::filesystem::exists(EntryPath())) << "unchecking the box deletes the start-up entry";
  EXPECT_FALSE(At(TControl::ckSyncOnStart).Checked);
  EXPECT_TRUE(At(TControl::ckUTCFormat).Checked && !At(TControl::ckTimeLocaFormat).Checked);
  EXPECT_FALSE(At(TControl::ckRunTimeServer).Checked || Form().IdTimeUDPServer1->Active());
  EXPECT_TRUE(View().ErrorBoxes.empty());
}

TEST_F(SettingsTest, IntegerKeysTakeDecimalOrHexadecimalAndAnythingElseGivesTheDefault) {
  const struct {
    const char* Saved;
    const char* Shown;
  } cases[] = {
      {"abc", "60"},   {"", "60"},    {"2147483648", "60"}, {"99999999999", "60"},
      {"12abc", "60"}, {"0x", "60"},  {"0x1E", "30"},       {"0X1e", "30"},
      {"$1E", "30"},   {"x1E", "30"}, {"  42  ", "42"},     {"\"15\"", "15"},
      {"-12", "-12"},  {"+7", "7"},   {"0xFFFFFFFF", "-1"}, {"2147483647", "2147483647"},
  };
  for (const auto& c : cases) {
    Load(std::string("[Common]\nedtSyncTime=") + c.Saved + "\n");
    EXPECT_EQ(At(TControl::edtSyncTime).Text, c.Shown) << "saved as '" << c.Saved << "'";
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
    EXPECT_EQ(At(TControl::ckNistServer).Checked, c.Nist) << c.Saved;
    EXPECT_EQ(At(TControl::ckCustomServer).Checked, !c.Nist) << c.Saved;
    EXPECT_EQ(Form().FUseNistList, c.Nist) << c.Saved;
    EXPECT_EQ(At(TControl::edtServer).Enabled, !c.Nist) << c.Saved;
    // The protocol list is set from its own key and leaves the type as loaded.
    EXPECT_EQ(Form().FServerType, 5) << c.Saved;
    EXPECT_EQ(At(TControl::cbSeverType).ItemIndex, 1) << c.Saved;
    EXPECT_EQ(At(TControl::edtServer).Text, "time.example");
    EXPECT_EQ(Form().FServer, "time.example");
  }
}

TEST_F(SettingsTest, AStartUpEntryThatCannotBeWrittenStopsNoKeyAfterItAndShowsNothing) {
  WriteFile(Folder + "/file", "");
  SetConfigHome(Folder + "/file/config");  // its folder cannot be made under a file
  Start("[Common]\nckRunStartup=1\nckSyncOnStart=1\nckTimeLocaFormat=1\nckRunTimeServer=1\n");
  PumpFor(50ms);
  EXPECT_TRUE(View().ErrorBoxes.empty()) << View().ErrorBoxes.front();
  EXPECT_TRUE(At(TControl::ckRunStartup).Checked);
  EXPECT_TRUE(At(TControl::ckSyncOnStart).Checked);
  EXPECT_TRUE(At(TControl::ckTimeLocaFormat).Checked);
  EXPECT_TRUE(At(TControl::ckRunTimeServer).Checked && Form().IdTimeUDPServer1->Active());
}

TEST_F(SettingsTest, SavingWritesTheTenKeysInOrderWithTheServerLastUsed) {
  Load("[Common]\nbNISTServer=0\nServerType=1\nServerProtocol=1\nckSyncTime=1\nckSyncOnStart=1\n");
  Form().FServer = "10.9.8.7";
  View().Type(TControl::edtServer, "typed.example");  // typed, never asked: not saved
  View().Type(TControl::edtSyncTime, "abc");          // saved as typed
  Form().FIni = std::make_unique<TIniFile>(Folder + "/saved.ini");
  Form().SaveSettings();
  EXPECT_EQ(ReadFile(Folder + "/saved.ini"),
            "[Common]\nbNISTServer=0\nServerType=1\nTimeServer=10.9.8.7\nServerProtocol=1\nckSyncTime=1\n"
            "edtSyncTime=abc\nckRunStartup=0\nckSyncOnStart=1\nckTimeLocaFormat=0\nckRunTimeServer=0\n");

  Form().ckNistServer.SetChecked(true);
  Form().FUseNistList = true;
  Form().SaveSettings();
  EXPECT_EQ(TIniFile(Folder + "/saved.ini").ReadString("common", "BNISTSERVER", ""), "-1");
}

// Where the program's folder cannot be written, the file beside the program gives
// the first start's values and the user's file takes what is saved.
TEST_F(SettingsTest, TheWindowLoadsFromOneFileAndSavesToTheOther) {
  const std::string program = Folder + "/program/settings.ini";
  const std::string user = Folder + "/config/Kestrine/settings.ini";
  const std::string seed = "[Common]\nckTimeLocaFormat=1\nedtSyncTime=7\n";
  WriteFile(program, seed);
  Window = std::make_unique<FakeWindow>(TSettingsPaths{program, user}, ProgramPath);
  EXPECT_TRUE(At(TControl::ckTimeLocaFormat).Checked);
  EXPECT_EQ(At(TControl::edtSyncTime).Text, "7");
  Window.reset();
  EXPECT_EQ(ReadFile(program), seed);
  EXPECT_EQ(TIniFile(user).ReadString("Common", "ckTimeLocaFormat", ""), "1");
  EXPECT_EQ(TIniFile(user).ReadString("Common", "edtSyncTime", ""), "7");

  // Without paths every key takes its default and nothing is saved.
  Window = std::make_unique<FakeWindow>(TSettingsPaths{}, ProgramPath);
  EXPECT_EQ(At(TControl::edtSyncTime).Text, "60");
  EXPECT_TRUE(At(TControl::ckUTCFormat).Checked);
  EXPECT_EQ(Form().FIni.get(), nullptr);
}

TEST_F(SettingsTest, TheStartUpEntryIsWrittenDeletedAndBroughtUpToDateAtStart) {
  const std::string entry = EntryFor("\"" + ProgramPath + "\"");
  Start(std::nullopt);

  View().Click(TControl::ckRunStartup);
  EXPECT_EQ(ReadFile(EntryPath()), entry);
  View().Click(TControl::ckRunStartup);
  EXPECT_FALSE(std::filesystem::exists(EntryPath()));
  SetRunAtStartup(RunAtStartupName, "");  // deleting what is not there is no failure
  EXPECT_TRUE(View().ErrorBoxes.empty());

  WriteFile(EntryPath(), EntryFor("\"/old/place/kestrine\""));
  Start("[Common]\nckRunStartup=1\n");
  EXPECT_EQ(ReadFile(EntryPath()), entry);
  EXPECT_TRUE(View().ErrorBoxes.empty());
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
  Start(std::nullopt);
  for (const auto& c : cases) {
    SetConfigHome(c.ConfigHome);
    View().ErrorBoxes.clear();
    View().Click(TControl::ckRunStartup);
    EXPECT_EQ(View().ErrorBoxes, std::vector<std::string>{c.Shown});
    EXPECT_TRUE(At(TControl::ckRunStartup).Checked);
    View().ErrorBoxes.clear();
    View().Click(TControl::ckRunStartup);
    PumpFor(30ms);
    EXPECT_TRUE(View().ErrorBoxes.empty()) << "deleting reports nothing";
  }
}

// Without the program's own path there is nothing to start: the entry written
// by an earlier run stays rather than vanishing under a ticked box.
TEST_F(SettingsTest, WithoutTheProgramsPathTickingTheBoxKeepsTheEntryAndSaysWhy) {
  const std::string earlier = EntryFor("\"/old/place/kestrine\"");
  WriteFile(EntryPath(), earlier);
  Start("[Common]\nckRunStartup=1\n", "");
  EXPECT_TRUE(At(TControl::ckRunStartup).Checked);
  EXPECT_TRUE(View().ErrorBoxes.empty()) << "start-up reports nothing";
  EXPECT_EQ(ReadFile(EntryPath()), earlier);

  Start(std::nullopt, "");
  View().Click(TControl::ckRunStartup);
  ASSERT_EQ(View().ErrorBoxes.size(), 1u);
  EXPECT_EQ(View().ErrorBoxes[0].rfind("Failed to set data for 'VantorTimeSync'", 0), 0u) << View().ErrorBoxes[0];
  EXPECT_TRUE(At(TControl::ckRunStartup).Checked);
  EXPECT_EQ(ReadFile(EntryPath()), earlier);
}

TEST(SettingsPathTest, TheProgramFolderUnlessItCannotBeWrittenThenTheUsersFolder) {
  const std::string program = "/opt/kestrine/settings.ini";
  const std::string user = "/home/u/.config/Kestrine/settings.ini";
  const struct {
    bool Writable, ProgramFile, UserFile;
    const char* UserFolder;
    std::string Load, Save;
    bool Installed = false;
  } cases[] = {
      {true, false, false, "/home/u/.config/Kestrine/", program, program},
      {true, false, true, "/home/u/.config/Kestrine/", program, program},
      {false, false, false, "/home/u/.config/Kestrine/", user, user},
      {false, false, true, "/home/u/.config/Kestrine/", user, user},
      {false, true, false, "/home/u/.config/Kestrine/", program, user},  // the first start takes the program's file
      {false, true, true, "/home/u/.config/Kestrine/", user, user},
      {false, true, true, "", program, program},  // no home: nowhere else to go
      // Installed, the user's file even where an elevated start could write the program's folder.
      {true, false, false, "/home/u/.config/Kestrine/", user, user, true},
      {true, true, false, "/home/u/.config/Kestrine/", program, user, true},
      {true, true, true, "/home/u/.config/Kestrine/", user, user, true},
  };
  for (const auto& c : cases) {
    const TSettingsPaths paths =
        ChooseSettingsPaths({"/opt/kestrine/", c.Writable, c.ProgramFile, c.UserFolder, c.UserFile, c.Installed});
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

}  // namespace
