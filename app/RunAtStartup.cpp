#include "RunAtStartup.h"

#include <QCheckBox>

#include "AppTitle.h"
#include "Form1.h"
#include "Platform/Autostart.h"
#include "Platform/ExePath.h"
#include "System/IdException.h"

void SetRunAtStartup(const std::string& valueName, const std::string& data) {
  if (data.empty()) {
    Platform::DeleteAutostartEntry(valueName);
    return;
  }
  std::string folder;
  switch (Platform::WriteAutostartEntry(valueName, ApplicationTitle, data, folder)) {
    case Platform::TAutostartWrite::Written:
      return;
    case Platform::TAutostartWrite::FolderNotCreated:
      throw Exception("Failed to create key " + folder);
    case Platform::TAutostartWrite::NotWritten:
      throw Exception("Failed to set data for '" + valueName + "'");
  }
}

// Every check writes the entry anew, so it follows the program when it moves.
void TForm1::ckRunStartupClick() {
  SetRunAtStartup(RunAtStartupName, ckRunStartup->isChecked() ? Platform::ExecutablePath() : std::string());
}
