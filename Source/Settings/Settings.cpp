// SPDX-License-Identifier: MIT
#include "Settings/Settings.h"

#include <iterator>

#include "Settings/StrToInt.h"

namespace {

constexpr const char* Section = "Common";

// One key as the file holds it.
struct TKeyText {
  const TIniFile* Ini;  // null: no file
  const char* Name;

  std::string Text(const std::string& defaultValue) const {
    return Ini != nullptr ? Ini->ReadString(Section, Name, defaultValue) : defaultValue;
  }
  // Integers as the file may hold them: "0x1E" reads as hexadecimal like "$1E";
  // anything that is not an integer of 32 bits gives the default.
  std::int32_t Number(std::int32_t defaultValue) const {
    std::int32_t value = 0;
    return ReadIntegerSetting(Text(""), value) ? value : defaultValue;
  }
};

struct TSettingKey {
  const char* Name;
  void (*Read)(TSettings& settings, const TKeyText& key);
  std::string (*Write)(const TSettings& settings);
};

template <bool TSettings::*Flag>
void ReadFlag(TSettings& settings, const TKeyText& key) {
  settings.*Flag = key.Number(0) != 0;
}

template <bool TSettings::*Flag>
std::string WriteFlag(const TSettings& settings) {
  return settings.*Flag ? "1" : "0";
}

// Reading and writing follow this order.
constexpr TSettingKey SettingKeys[] = {
    {"bNISTServer", [](TSettings& s, const TKeyText& key) { s.bNISTServer = key.Number(1) != 0; },
     [](const TSettings& s) { return std::string(s.bNISTServer ? "-1" : "0"); }},
    {"ServerType", [](TSettings& s, const TKeyText& key) { s.ServerType = key.Number(0); },
     [](const TSettings& s) { return std::to_string(s.ServerType); }},
    {"TimeServer", [](TSettings& s, const TKeyText& key) { s.TimeServer = key.Text(DefaultServer); },
     [](const TSettings& s) { return s.TimeServer; }},
    {"ServerProtocol", [](TSettings& s, const TKeyText& key) { s.ServerProtocol = key.Number(0) != 0 ? 1 : 0; },
     [](const TSettings& s) { return std::to_string(s.ServerProtocol); }},
    {"ckSyncTime", ReadFlag<&TSettings::ckSyncTime>, WriteFlag<&TSettings::ckSyncTime>},
    {"edtSyncTime", [](TSettings& s, const TKeyText& key) { s.edtSyncTime = std::to_string(key.Number(60)); },
     [](const TSettings& s) { return s.edtSyncTime; }},
    {"ckRunStartup", ReadFlag<&TSettings::ckRunStartup>, WriteFlag<&TSettings::ckRunStartup>},
    {"ckSyncOnStart", ReadFlag<&TSettings::ckSyncOnStart>, WriteFlag<&TSettings::ckSyncOnStart>},
    {"ckTimeLocaFormat", ReadFlag<&TSettings::ckTimeLocaFormat>, WriteFlag<&TSettings::ckTimeLocaFormat>},
    {"ckRunTimeServer", ReadFlag<&TSettings::ckRunTimeServer>, WriteFlag<&TSettings::ckRunTimeServer>},
};
static_assert(std::size(SettingKeys) == 10);

}  // namespace

TSettings ReadSettings(const TIniFile* ini) {
  TSettings settings;
  for (const TSettingKey& key : SettingKeys) key.Read(settings, {ini, key.Name});
  return settings;
}

void WriteSettings(TIniFile& ini, const TSettings& settings) {
  for (const TSettingKey& key : SettingKeys) ini.WriteString(Section, key.Name, key.Write(settings));
}
