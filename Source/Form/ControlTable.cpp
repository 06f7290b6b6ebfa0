// SPDX-License-Identifier: MIT
#include "Form/ControlTable.h"

#include <string_view>

namespace {

using enum TControl;
using K = TControlKind;

constexpr std::optional<TControl> Client;
constexpr const char* ServerTypes[] = {"SNTP", "Time"};

constexpr TControlSpec Table[] = {
    {TeButton1, "TeButton1", K::Button, "Synchroize", Client, 192, 120, 75, 25, true},
    {TeLabel1, "TeLabel1", K::Label, "Server Time:", Client, 8, 24, 60, 13, true},
    {TeSEdit1, "TeSEdit1", K::ClockBox, "", Client, 72, 24, 233, 21},
    {TeLabel2, "TeLabel2", K::Label, "Local Time:", Client, 8, 56, 55, 13},
    {TeSEdit2, "TeSEdit2", K::ClockBox, "", Client, 72, 56, 233, 21, false, false, 255},  // red until the clocks agree
    {TeButton2, "TeButton2", K::Button, "Refresh", Client, 104, 120, 75, 25},
    {TeLabel3, "TeLabel3", K::Label, "Difference:", Client, 8, 88, 52, 13},
    {TeSEdit3, "TeSEdit3", K::ClockBox, "", Client, 72, 88, 233, 21, false, false, 0},
    {TePageControl1, "TePageControl1", K::PageControl, "", Client, 8, 160, 337, 217, true},

    {TeTabSheet1, "TeTabSheet1", K::Page, "Time Server", TePageControl1},
    {ckNistServer, "ckNistServer", K::RadioButton, "NIST Atomic Time Servers", TeTabSheet1, 16, 16, 201, 20, true,
     true},
    {ckCustomServer, "ckCustomServer", K::RadioButton, "Custom Time Server", TeTabSheet1, 16, 48, 201, 20},
    {TeScrollingLabel1, "TeScrollingLabel1", K::Label, "Server Address: ", TeTabSheet1, 24, 80, 78, 13, true},
    {edtServer, "edtServer", K::Edit, "", TeTabSheet1, 112, 80, 201, 21},
    {TeScrollingLabel2, "TeScrollingLabel2", K::Label, "Server Protocol: ", TeTabSheet1, 24, 112, 79, 13},
    {cbSeverType, "cbSeverType", K::List, "", TeTabSheet1, 112, 112, 57, 21, false, false, -1, ServerTypes},
    // Wide enough for the address that follows the caption.
    {labCurServer, "labCurServer", K::Label, "Current Server: ", TeTabSheet1, 24, 152, 289, 13},

    {TeTabSheet2, "TeTabSheet2", K::Page, "Synchroniztion", TePageControl1},
    {ckSyncTime, "ckSyncTime", K::CheckBox, "Synchronize time every ", TeTabSheet2, 16, 16, 129, 20, true},
    {edtSyncTime, "edtSyncTime", K::Edit, "1", TeTabSheet2, 152, 16, 33, 21},
    {TeLabel4, "TeLabel4", K::Label, "minutes", TeTabSheet2, 191, 18, 36, 13},
    {ckRunStartup, "ckRunStartup", K::CheckBox, "Run program at windows startup", TeTabSheet2, 16, 56, 265, 20},
    {ckSyncOnStart, "ckSyncOnStart", K::CheckBox, "Synchronize time on program startup", TeTabSheet2, 16, 96, 265, 20},

    {TeTabSheet4, "TeTabSheet4", K::Page, "Misc", TePageControl1},
    {TeGroupBox1, "TeGroupBox1", K::GroupBox, "Display Time Format", TeTabSheet4, 8, 16, 305, 89, true},
    {ckTimeLocaFormat, "ckTimeLocaFormat", K::RadioButton, "Local time format", TeGroupBox1, 16, 16, 201, 20, true,
     true},
    {ckUTCFormat, "ckUTCFormat", K::RadioButton, "UTC", TeGroupBox1, 16, 48, 201, 20},
    {TeGroupBox2, "TeGroupBox2", K::GroupBox, "Time Server", TeTabSheet4, 8, 112, 305, 57, true},
    {ckRunTimeServer, "ckRunTimeServer", K::CheckBox, "Run as local time server (Time protocol)", TeGroupBox2, 16, 24,
     241, 20, true},
};

static_assert(std::size(Table) == ControlCount, "one row for each control");

constexpr TCaptionButtonSpec Buttons[] = {
    {"TrayButton", "Minimize to tray", TGlyph::Tray, TFrameCommand::MinimizeToTray},
    {"RollupButton", "Roll up", TGlyph::Rollup, TFrameCommand::ToggleRollup},
    {"MinimizeButton", "Minimize", TGlyph::Minimize, TFrameCommand::Minimize},
    {"CloseButton", "Close", TGlyph::Close, TFrameCommand::Close},
};

constexpr TBoxLabel Labels[] = {
    {TeSEdit1, TeLabel1, std::nullopt},
    {TeSEdit2, TeLabel2, std::nullopt},
    {TeSEdit3, TeLabel3, std::nullopt},
    {edtServer, TeScrollingLabel1, std::nullopt},
    {cbSeverType, TeScrollingLabel2, std::nullopt},
    {edtSyncTime, ckSyncTime, TeLabel4},
};

std::string_view Trimmed(std::string_view caption) { return caption.substr(0, caption.find_last_not_of(' ') + 1); }

}  // namespace

std::span<const TControlSpec> ControlTable() { return Table; }

std::span<const TCaptionButtonSpec> CaptionButtons() { return Buttons; }

std::span<const TBoxLabel> BoxLabels() { return Labels; }

std::string AccessibleName(const TBoxLabel& pair) {
  std::string name(Trimmed(ControlSpec(pair.Label).Caption));
  if (pair.Unit) name.append(", ").append(Trimmed(ControlSpec(*pair.Unit).Caption));
  return name;
}

const TControlSpec& ControlSpec(TControl id) {
  for (const TControlSpec& spec : Table)
    if (spec.Id == id) return spec;
  return Table[0];  // every id has its row (see the assertion above)
}
