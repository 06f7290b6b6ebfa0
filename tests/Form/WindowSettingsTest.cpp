// SPDX-License-Identifier: MIT
// The window and its settings: loaded into the controls at start-up, saved at
// the end, and the start-with-the-session entry. Every test gets its own
// settings file and its own XDG_CONFIG_HOME in a temporary folder.
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Core/IdSync.h"
#include "Fakes/UdpProbe.h"
#include "Form/FakeFormView.h"
#include "Form/RunAtStartup.h"
#include "Protocols/IdRequestPacer.h"
#include "Support/TestHelpers.h"

using namespace KestrineTest;
using namespace std::chrono_literals;

namespace {

const std::string ProgramPath = "/opt/kestrine/kestrine";

// Every key but the Time server's away from its default.
const char* const AllChanged =
    "[Common]\nbNISTServer=0\nServerType=5\nTimeServer=192.0.2.7\nServerProtocol=1\nckSyncTime=1\n"
    "edtSyncTime=5\nckRunStartup=1\nckSyncOnStart=1\nckTimeLocaFormat=1\nckRunTimeServer=0\n";

class WindowSettingsTest : public ::testing::Test {
protected:
  void SetUp() override {
    TIdRequestPacer::Default().SetMinInterval(0ms);
    char pattern[] = "/tmp/kestrine-settings-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    Folder = pattern;
    SetConfigHome(Folder + "/config");
  }

  void TearDown() override {
    Window.reset();
    TIdRequestPacer::Default().SetMinInterval(4000ms);
    unsetenv("XDG_CONFIG_HOME");
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
  // Ends the program, which saves; the file as it then is.
  std::string Saved() {
    Window.reset();
    return ReadFile(IniPath());
  }

  FakeFormView& View() { return Window->View; }
  FakeFormView::TControlState& At(TControl control) { return Window->View.At(control); }

  // Whether the Time server answers on port 37.
  static bool TimeServerAnswers() {
    UdpProbe probe;
    probe.Send({}, 37);
    return probe.Receive(1000ms, nullptr, [] { IdSync::RunQueued(); }).has_value();
  }

  static std::string EntryFor(const std::string& exec) {
    return "[Desktop Entry]\nType=Application\nName=Kestrine\nExec=" + exec + "\nX-GNOME-Autostart-enabled=true\n";
  }

  std::string Folder;
  std::unique_ptr<FakeWindow> Window;
};

// Saved before any query has run, every key goes back as it was loaded: the
// server state the controller took from the file too.
TEST_F(WindowSettingsTest, StartUpShowsEveryKeyAndTheEndSavesItBack) {
  Start(AllChanged);
  EXPECT_TRUE(At(TControl::ckCustomServer).Checked && !At(TControl::ckNistServer).Checked);
  EXPECT_TRUE(At(TControl::edtServer).Enabled) << "checking the custom server runs its handler";
  EXPECT_EQ(At(TControl::edtServer).Text, "192.0.2.7");
  EXPECT_EQ(At(TControl::cbSeverType).ItemIndex, 1);
  EXPECT_TRUE(At(TControl::ckSyncTime).Checked);
  EXPECT_TRUE(View().Timer(TTimerId::SyncTimer).Enabled);
  EXPECT_EQ(View().Timer(TTimerId::SyncTimer).Interval, 5u * 60000) << "the interval as loaded, not the box's first 1";
  EXPECT_EQ(At(TControl::edtSyncTime).Text, "5");
  EXPECT_TRUE(At(TControl::ckRunStartup).Checked);
  EXPECT_TRUE(std::filesystem::exists(EntryPath())) << "checking the box writes the start-up entry";
  EXPECT_TRUE(At(TControl::ckSyncOnStart).Checked);
  EXPECT_TRUE(At(TControl::ckTimeLocaFormat).Checked && !At(TControl::ckUTCFormat).Checked);
  EXPECT_EQ(Saved(), AllChanged);
}

TEST_F(WindowSettingsTest, WithoutAFileEveryKeyTakesItsDefault) {
  Start(std::nullopt);
  EXPECT_TRUE(At(TControl::ckNistServer).Checked && !At(TControl::ckCustomServer).Checked);
  EXPECT_FALSE(At(TControl::edtServer).Enabled);
  EXPECT_FALSE(At(TControl::cbSeverType).Enabled);
  EXPECT_EQ(At(TControl::edtServer).Text, "129.6.15.29");
  EXPECT_EQ(At(TControl::cbSeverType).ItemIndex, 0);
  EXPECT_FALSE(At(TControl::ckSyncTime).Checked || View().Timer(TTimerId::SyncTimer).Enabled);
  EXPECT_EQ(At(TControl::edtSyncTime).Text, "60");
  EXPECT_FALSE(At(TControl::ckRunStartup).Checked);
  EXPECT_FALSE(At(TControl::ckSyncOnStart).Checked);
  EXPECT_TRUE(At(TControl::ckUTCFormat).Checked && !At(TControl::ckTimeLocaFormat).Checked);
  EXPECT_FALSE(At(TControl::ckRunTimeServer).Checked);
  EXPECT_TRUE(View().ErrorBoxes.empty());
  EXPECT_EQ(Saved(),
            "[Common]\nbNISTServer=-1\nServerType=0\nTimeServer=129.6.15.29\nServerProtocol=0\nckSyncTime=0\n"
            "edtSyncTime=60\nckRunStartup=0\nckSyncOnStart=0\nckTimeLocaFormat=0\nckRunTimeServer=0\n");
}

TEST_F(WindowSettingsTest, AStartUpEntryThatCannotBeWrittenStopsNoKeyAfterItAndShowsNothing) {
  WriteFile(Folder + "/file", "");
  SetConfigHome(Folder + "/file/config");  // its folder cannot be made under a file
  Start("[Common]\nckRunStartup=1\nckSyncOnStart=1\nckTimeLocaFormat=1\nckRunTimeServer=1\n");
  PumpFor(50ms);
  EXPECT_TRUE(View().ErrorBoxes.empty()) << View().ErrorBoxes.front();
  EXPECT_TRUE(At(TControl::ckRunStartup).Checked);
  EXPECT_TRUE(At(TControl::ckSyncOnStart).Checked);
  EXPECT_TRUE(At(TControl::ckTimeLocaFormat).Checked);
  EXPECT_TRUE(At(TControl::ckRunTimeServer).Checked);
  EXPECT_TRUE(TimeServerAnswers());
}

// The server saved is the one the last query asked, not what the box holds.
TEST_F(WindowSettingsTest, SavingWritesTheServerLastAskedAndThePeriodAsTyped) {
  Start(std::nullopt);
  View().Click(TControl::ckCustomServer);
  View().Select(TControl::cbSeverType, 1);
  View().Click(TControl::ckSyncTime);
  View().Click(TControl::ckSyncOnStart);
  View().Type(TControl::edtServer, "10.9.8.7");
  ASSERT_TRUE(PumpUntil([&] { return At(TControl::labCurServer).Text == "Current Server: 10.9.8.7"; }, 5s));
  View().Type(TControl::edtServer, "typed.example");  // typed, never asked: not saved
  View().Type(TControl::edtSyncTime, "abc");          // saved as typed
  EXPECT_EQ(Saved(),
            "[Common]\nbNISTServer=0\nServerType=1\nTimeServer=10.9.8.7\nServerProtocol=1\nckSyncTime=1\n"
            "edtSyncTime=abc\nckRunStartup=0\nckSyncOnStart=1\nckTimeLocaFormat=0\nckRunTimeServer=0\n");
}

// Where the program's folder cannot be written, the file beside the program gives
// the first start's values and the user's file takes what is saved.
TEST_F(WindowSettingsTest, TheWindowLoadsFromOneFileAndSavesToTheOther) {
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

  // Without paths every key takes its default.
  Window = std::make_unique<FakeWindow>(TSettingsPaths{}, ProgramPath);
  EXPECT_EQ(At(TControl::edtSyncTime).Text, "60");
  EXPECT_TRUE(At(TControl::ckUTCFormat).Checked);
}

TEST_F(WindowSettingsTest, TheStartUpEntryIsWrittenDeletedAndBroughtUpToDateAtStart) {
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

TEST_F(WindowSettingsTest, TheEntryQuotesThePathAsDesktopEntriesRequire) {
  SetRunAtStartup(RunAtStartupName, "/opt/odd dir/a\"b`c$d\\e%f");
  EXPECT_EQ(ReadFile(EntryPath()), EntryFor(R"("/opt/odd dir/a\\"b\\`c\\$d\\\\e%%f")"));
}

TEST_F(WindowSettingsTest, AStartUpEntryThatCannotBeWrittenShowsItsFailureWhenTheUserClicks) {
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
TEST_F(WindowSettingsTest, WithoutTheProgramsPathTickingTheBoxKeepsTheEntryAndSaysWhy) {
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

}  // namespace
