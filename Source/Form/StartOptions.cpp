// SPDX-License-Identifier: MIT
#include "Form/StartOptions.h"

#include "Platform/ExePath.h"

TFormOptions StartOptions(TFormatSettings userFormat, TFormatSettings usFormat) {
  TFormOptions options;
  options.ExecutablePath = Platform::ExecutablePath();
  options.Settings = ChooseSettingsPaths(FindSettingsPlaces(Platform::FolderOfPath(options.ExecutablePath)));
  options.UserFormat = std::move(userFormat);
  options.UsFormat = std::move(usFormat);
  return options;
}
