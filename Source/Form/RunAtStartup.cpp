#include "Form/RunAtStartup.h"

#include "Form/AppTitle.h"
#include "Form/Form1.h"
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

// Every check writes the entry anew, so it follows the program when it moves.
void TForm1::ckRunStartupClick() {
  if (!ckRunStartup.Checked()) {
    SetRunAtStartup(RunAtStartupName, std::string());
    return;
  }
  // Without the program's path there is nothing to start: an entry written
  // earlier stays as it is rather than being deleted under a ticked box.
  if (FOptions.ExecutablePath.empty())
    throw Exception(std::string("Failed to set data for '") + RunAtStartupName +
                    "': the program's own path could not be read");
  SetRunAtStartup(RunAtStartupName, FOptions.ExecutablePath);
}
