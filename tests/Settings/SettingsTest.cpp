// SPDX-License-Identifier: MIT
// The settings record and the file's ten keys: their order, their defaults, and
// how each key is read and written.
#include <filesystem>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "Settings/Settings.h"
#include "Support/TestHelpers.h"

using KestrineTest::ReadFile;
using KestrineTest::WriteFile;

namespace {

class SettingsTest : public ::testing::Test {
protected:
  void SetUp() override {
    Folder = std::filesystem::temp_directory_path() / ("kestrine-settings-" + std::to_string(std::random_device()()));
    std::filesystem::create_directories(Folder);
  }
  void TearDown() override { std::filesystem::remove_all(Folder); }

  std::string Path() const { return (Folder / "settings.ini").string(); }
  TSettings Read(const std::string& contents) {
    WriteFile(Path(), contents);
    const TIniFile ini(Path());
    return ReadSettings(&ini);
  }
  std::string Written(const TSettings& settings) {
    std::filesystem::remove(Path());
    TIniFile ini(Path());
    WriteSettings(ini, settings);
    return ReadFile(Path());
  }

  std::filesystem::path Folder;
};

TEST_F(SettingsTest, ANewFileListsTheTenKeysInOrderAndReadsBackAsWritten) {
  EXPECT_EQ(Written(TSettings{}),
            "[Common]\nbNISTServer=-1\nServerType=0\nTimeServer=129.6.15.29\nServerProtocol=0\nckSyncTime=0\n"
            "edtSyncTime=60\nckRunStartup=0\nckSyncOnStart=0\nckTimeLocaFormat=0\nckRunTimeServer=0\n");
  const TSettings changed{.bNISTServer = false,
                          .ServerType = 5,
                          .TimeServer = "time.example",
                          .ServerProtocol = 1,
                          .ckSyncTime = true,
                          .edtSyncTime = "abc",  // saved as typed
                          .ckRunStartup = true,
                          .ckSyncOnStart = true,
                          .ckTimeLocaFormat = true,
                          .ckRunTimeServer = true};
  const std::string text = Written(changed);
  EXPECT_EQ(text,
            "[Common]\nbNISTServer=0\nServerType=5\nTimeServer=time.example\nServerProtocol=1\nckSyncTime=1\n"
            "edtSyncTime=abc\nckRunStartup=1\nckSyncOnStart=1\nckTimeLocaFormat=1\nckRunTimeServer=1\n");
  TSettings expected = changed;
  expected.edtSyncTime = "60";  // read as an integer
  EXPECT_EQ(Read(text), expected);
}

// Without a file, and for each key missing from one, the defaults: the NIST
// list, the default server, "SNTP", a 60-minute period, everything else off.
TEST_F(SettingsTest, AMissingFileOrKeyGivesTheDefault) {
  EXPECT_EQ(ReadSettings(nullptr), TSettings{});
  EXPECT_EQ(Read("[Other]\nckSyncTime=1\n"), TSettings{});
  EXPECT_EQ(Read("[Common]\nTimeServer=\n").TimeServer, "") << "only a missing key gives the default";
}

TEST_F(SettingsTest, IntegerKeysTakeDecimalOrHexadecimalAndAnythingElseGivesTheDefault) {
  const struct {
    const char* Saved;
    const char* Read;
  } cases[] = {
      {"abc", "60"},   {"", "60"},    {"2147483648", "60"}, {"99999999999", "60"},
      {"12abc", "60"}, {"0x", "60"},  {"0x1E", "30"},       {"0X1e", "30"},
      {"$1E", "30"},   {"x1E", "30"}, {"  42  ", "42"},     {"\"15\"", "15"},
      {"-12", "-12"},  {"+7", "7"},   {"0xFFFFFFFF", "-1"}, {"2147483647", "2147483647"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Read(std::string("[Common]\nedtSyncTime=") + c.Saved + "\n").edtSyncTime, c.Read)
        << "saved as '" << c.Saved << "'";
}

// Any number but 0 selects the NIST list, checks a box or selects "Time"; the
// server type is any number, never the protocol list's.
TEST_F(SettingsTest, EachKeyReadsOnItsOwn) {
  const struct {
    const char* Saved;
    bool Nist;
    std::int32_t Protocol;
    bool Flag;
  } cases[] = {{"1", true, 1, true},    {"-1", true, 1, true},    {"7", true, 1, true},
               {"0", false, 0, false},  {"junk", true, 0, false},  // not a number: each key's default
               {"0x0", false, 0, false}};
  for (const auto& c : cases) {
    const std::string value = c.Saved;
    const TSettings read = Read("[Common]\nbNISTServer=" + value + "\nServerType=5\nServerProtocol=" + value +
                                "\nckSyncTime=" + value + "\nckTimeLocaFormat=" + value + "\n");
    EXPECT_EQ(read.bNISTServer, c.Nist) << c.Saved;
    EXPECT_EQ(read.ServerProtocol, c.Protocol) << c.Saved;
    EXPECT_EQ(read.ckSyncTime, c.Flag) << c.Saved;
    EXPECT_EQ(read.ckTimeLocaFormat, c.Flag) << c.Saved;
    EXPECT_EQ(read.ServerType, 5) << c.Saved;
  }
}

}  // namespace
