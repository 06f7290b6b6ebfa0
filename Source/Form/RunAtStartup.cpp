// SPDX-License-Identifier: MIT
#include "Form/RunAtStartup.h"

#include "Form/AppTitle.h"
#include "Platform/Autostart.h"
#include "System/IdException.h"

void SetRunAtStartup(const std::string& valueName, const std::string& data) {
  if (data.empty()) {
    Platform::DeleteAutostartEntry(valueName);
    return;
  }
  std::string folder;
  switch (Platform::WriteAutostartEntry(valueName, ApplicationTitle, data, folder)) {
    case Platform::TAutostartWrite::Written: return;
    case Platform::TAutostartWrite::FolderNotCreated: throw Exception("Failed to create key " + folder);
    case Platform::TAutostartWrite::NotWritten: throw Exception("Failed to set data for '" + valueName + "'");
  }
}
