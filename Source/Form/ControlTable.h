#pragma once
#include <cstdint>
#include <optional>
#include <span>

#include "Form/FormView.h"

enum class TControlKind : std::uint8_t {
  Label,
  ClockBox,  // read-only, text centred
  Edit,
  Button,
  PageControl,
  Page,  // a page of the page control; its caption is the tab's
  RadioButton,
  CheckBox,
  GroupBox,
  List,  // drop-down, no typing
};

// One control as a new window has it. Places are pixels at 96 DPI relative to
// the parent (none: the client area of 352 by 392); a page fills the page
// control's display area. Labels and buttons with a box are at least as wide
// as their caption needs.
struct TControlSpec {
  TControl Id;
  const char* Name;  // the control's name in the window
  TControlKind Kind;
  const char* Caption;  // caption or initial text
  std::optional<TControl> Parent;
  int Left = 0, Top = 0, Width = 0, Height = 0;
  bool GroupStart = false;  // begins a run that the arrow keys stay within
  bool Checked = false;
  int FontColor = -1;                       // a Windows colour value; -1: the window's text colour
  std::span<const char* const> Items = {};  // a list's items; the first is selected
};

// Every control, in tab order: a label before the box it names, the pages after
// the page control, and each control after its parent.
std::span<const TControlSpec> ControlTable();
const TControlSpec& ControlSpec(TControl id);
