// SPDX-License-Identifier: MIT
#pragma once
#include <string>

// What decides where the settings file is.
struct TSettingsPlaces {
  std::string ProgramFolder;  // the executable's folder, ending in "/"
  bool ProgramFolderWritable = false;
  bool ProgramFileExists = false;
  std::string UserFolder;  // the per-user settings folder, ending in "/"; empty when no home is known
  bool UserFileExists = false;
  // The copy that the installer put there: its folder may be writable to an
  // elevated start, but the settings are the user's all the same.
  bool Installed = false;
};

// The file the settings are loaded from and the one they are saved to.
struct TSettingsPaths {
  std::string Load;
  std::string Save;
};

inline constexpr const char* SettingsFileName = "settings.ini";

// The settings live beside the executable. Where that folder cannot be written,
// and always for an installed program (whatever its rights), they are saved in
// the user's folder and loaded from there, except on a first start that finds
// a file beside the executable only: that one then gives the starting values.
TSettingsPaths ChooseSettingsPaths(const TSettingsPlaces& places);

// The places as the file system has them: the user's folder is
// $XDG_CONFIG_HOME/Kestrine/ (by default ~/.config/Kestrine/).
TSettingsPlaces FindSettingsPlaces(const std::string& programFolder);
