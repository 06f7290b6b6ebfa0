#include <cstdint>
#include <iterator>
#include <string>

#include "Form/Form1.h"
#include "Form/NistServers.h"
#include "Form/StrToInt.h"

namespace {

constexpr const char* Section = "Common";

// A key's value as read: integer keys give Number, the text key gives Text.
struct TSettingValue {
  std::int32_t Number = 0;
  std::string Text;
};

// One key of the file: how it is read, applied to the window at once, and saved.
struct TSettingKey {
  const char* Name;
  bool IsText;
  std::int32_t Default;  // integer keys; the text key's default is the default server
  void (*Apply)(TForm1& form, const TSettingValue& value);
  std::string (*Save)(const TForm1& form);
};

std::string Flag(bool on) { return on ? "1" : "0"; }

// Loading applies the keys in this order and saving writes them in it.
constexpr TSettingKey SettingKeys[] = {
    {"bNISTServer", false, 1,
     [](TForm1& f, const TSettingValue& v) {
       f.FUseNistList = v.Number != 0;
       // The server buttons follow at once: their handlers read nothing that ServerType sets.
       if (f.FUseNistList)
         f.ckNistServer.SetChecked(true);
       else
         f.ckCustomServer.SetChecked(true);
     },
     [](const TForm1& f) { return std::string(f.FUseNistList ? "-1" : "0"); }},
    {"ServerType", false, 0, [](TForm1& f, const TSettingValue& v) { f.FServerType = v.Number; },
     [](const TForm1& f) { return std::to_string(f.FServerType); }},
    {"TimeServer", true, 0,
     [](TForm1& f, const TSettingValue& v) {
       f.FServer = v.Text;
       f.edtServer.SetText(v.Text);
     },
     [](const TForm1& f) { return f.FServer; }},
    // Set from the program, the list runs no handler: FServerType keeps ServerType.
    {"ServerProtocol", false, 0,
     [](TForm1& f, const TSettingValue& v) { f.cbSeverType.SetItemIndex(v.Number != 0 ? 1 : 0); },
     [](const TForm1& f) { return std::to_string(f.cbSeverType.ItemIndex()); }},
    // Checked here, the timer starts with the box's initial "1"; start-up runs the
    // handler again once the interval is loaded.
    {"ckSyncTime", false, 0, [](TForm1& f, const TSettingValue& v) { f.ckSyncTime.SetChecked(v.Number != 0); },
     [](const TForm1& f) { return Flag(f.ckSyncTime.Checked()); }},
    {"edtSyncTime", false, 60,
     [](TForm1& f, const TSettingValue& v) { f.edtSyncTime.SetText(std::to_string(v.Number)); },
     [](const TForm1& f) { return f.edtSyncTime.Text(); }},
    // Checked here, the start-up entry is written again with the program's present path.
    {"ckRunStartup", false, 0, [](TForm1& f, const TSettingValue& v) { f.ckRunStartup.SetChecked(v.Number != 0); },
     [](const TForm1& f) { return Flag(f.ckRunStartup.Checked()); }},
    {"ckSyncOnStart", false, 0, [](TForm1& f, const TSettingValue& v) { f.ckSyncOnStart.SetChecked(v.Number != 0); },
     [](const TForm1& f) { return Flag(f.ckSyncOnStart.Checked()); }},
    // The two format buttons are exclusive: checking one clears the other.
    {"ckTimeLocaFormat", false, 0,
     [](TForm1& f, const TSettingValue& v) { (v.Number != 0 ? f.ckTimeLocaFormat : f.ckUTCFormat).SetChecked(true); },
     [](const TForm1& f) { return Flag(f.ckTimeLocaFormat.Checked()); }},
    {"ckRunTimeServer", false, 0,
     [](TForm1& f, const TSettingValue& v) { f.ckRunTimeServer.SetChecked(v.Number != 0); },
     [](const TForm1& f) { return Flag(f.ckRunTimeServer.Checked()); }},
};
static_assert(std::size(SettingKeys) == 10);

// Integers as the file may hold them: "0x1E" reads as hexadecimal like "$1E";
// anything that is not an integer of 32 bits gives the key's default.
std::int32_t ReadInteger(const TIniFile* ini, const TSettingKey& key) {
  std::int32_t value = 0;
  const std::string text = ini != nullptr ? ini->ReadString(Section, key.Name, "") : std::string();
  return ReadIntegerSetting(text, value) ? value : key.Default;
}

// Without a settings file every key takes its default.
TSettingValue ReadValue(const TIniFile* ini, const TSettingKey& key) {
  TSettingValue value;
  if (key.IsText)
    value.Text = ini != nullptr ? ini->ReadString(Section, key.Name, DefaultServer) : std::string(DefaultServer);
  else
    value.Number = ReadInteger(ini, key);
  return value;
}

}  // namespace

// The settings file is read once at start-up and written once at the end.
void TForm1::LoadSettings() {
  for (const TSettingKey& key : SettingKeys) {
    try {
      key.Apply(*this, ReadValue(FIni.get(), key));
    } catch (const std::exception&) {
      // A key that cannot be applied (a refused start-up entry) is skipped
      // without a word; the keys after it still apply.
    }
  }
}

void TForm1::SaveSettings() {
  if (!FIni) return;
  try {
    for (const TSettingKey& key : SettingKeys) FIni->WriteString(Section, key.Name, key.Save(*this));
  } catch (const std::exception&) {
    // The end of the program reports nothing; the keys not yet written keep their old values.
  }
}
