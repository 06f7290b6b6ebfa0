// SPDX-License-Identifier: MIT
#include "Settings/SettingsPath.h"

#include "Platform/Autostart.h"
#include "Platform/Files.h"

TSettingsPaths ChooseSettingsPaths(const TSettingsPlaces& places) {
  const std::string programFile = places.ProgramFolder + SettingsFileName;
  if ((places.ProgramFolderWritable && !places.Installed) || places.UserFolder.empty())
    return {programFile, programFile};
  const std::string userFile = places.UserFolder + SettingsFileName;
  const bool seed = places.ProgramFileExists && !places.UserFileExists;
  return {seed ? programFile : userFile, userFile};
}

TSettingsPlaces FindSettingsPlaces(const std::string& programFolder) {
  TSettingsPlaces places;
  places.ProgramFolder = programFolder;
  // An empty folder is the working folder, which says nothing about where the program is.
  places.ProgramFolderWritable = !programFolder.empty() && Platform::IsWritableFolder(programFolder);
  places.ProgramFileExists = !programFolder.empty() && Platform::IsRegularFile(programFolder + SettingsFileName);
  places.Installed = !programFolder.empty() && Platform::IsInstalledProgramFolder(programFolder);
  const std::string config = Platform::UserConfigFolder();
  if (!config.empty()) places.UserFolder = config + "/Kestrine/";
  places.UserFileExists = !places.UserFolder.empty() && Platform::IsRegularFile(places.UserFolder + SettingsFileName);
  return places;
}
