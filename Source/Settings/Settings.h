// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <string>

#include "Settings/IniFile.h"
#include "Sync/NistServers.h"

// The user's choices as the settings file keeps them: section "Common", one key
// a field, named as the key and in the file's order. A new record holds every
// key's default, as a start without a settings file has them.
struct TSettings {
  bool bNISTServer = true;                 // saved as "-1" or "0"; any number but 0 reads as set
  std::int32_t ServerType = 0;             // the protocol of the server asked last, any number
  std::string TimeServer = DefaultServer;  // the server asked last, not the address box
  std::int32_t ServerProtocol = 0;         // the protocol list's index; any number but 0 reads as 1
  bool ckSyncTime = false;
  std::string edtSyncTime = "60";  // read as an integer, saved as typed
  bool ckRunStartup = false;
  bool ckSyncOnStart = false;
  bool ckTimeLocaFormat = false;  // clear: "UTC", the fixed format
  bool ckRunTimeServer = false;

  friend bool operator==(const TSettings&, const TSettings&) = default;
};

// Reads every key. A missing key, or an integer key that holds no 32-bit
// integer, gives its default; without a file (null) every key does.
TSettings ReadSettings(const TIniFile* ini);

// Writes the ten keys in their order. Raises at the first that cannot be
// written; the keys after it keep their old values in the file.
void WriteSettings(TIniFile& ini, const TSettings& settings);
