// SPDX-License-Identifier: MIT
// Where the settings file lies: beside the program, or in the user's folder.
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "Settings/SettingsPath.h"
#include "Support/TestHelpers.h"

using KestrineTest::WriteFile;

namespace {

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

TEST(SettingsPathTest, ThePlacesComeFromTheFileSystemAndXdgConfigHome) {
  char pattern[] = "/tmp/kestrine-settings-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string folder = pattern;
  std::optional<std::string> home;
  if (const char* value = std::getenv("HOME")) home = value;
  setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);

  WriteFile(folder + "/program/settings.ini", "");
  WriteFile(folder + "/file", "");
  TSettingsPlaces places = FindSettingsPlaces(folder + "/program/");
  EXPECT_TRUE(places.ProgramFolderWritable && places.ProgramFileExists);
  EXPECT_EQ(places.UserFolder, folder + "/config/Kestrine/");
  EXPECT_FALSE(places.UserFileExists);

  WriteFile(folder + "/config/Kestrine/settings.ini", "");
  places = FindSettingsPlaces(folder + "/file/");  // a folder under a file cannot be written, even by root
  EXPECT_FALSE(places.ProgramFolderWritable || places.ProgramFileExists);
  EXPECT_TRUE(places.UserFileExists);

  setenv("XDG_CONFIG_HOME", "relative/config", 1);  // not absolute: ignored for ~/.config
  setenv("HOME", (folder + "/home").c_str(), 1);
  EXPECT_EQ(FindSettingsPlaces(folder + "/program/").UserFolder, folder + "/home/.config/Kestrine/");

  unsetenv("XDG_CONFIG_HOME");
  if (home) setenv("HOME", home->c_str(), 1);
  std::filesystem::remove_all(folder);
}

}  // namespace
