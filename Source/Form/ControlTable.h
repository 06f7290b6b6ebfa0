// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "Form/FormView.h"
#include "Form/FrameLogic.h"

// What the window is made of, once for both views: its frame, its caption
// bar's buttons, its controls and which label names which box. A view builds
// from these and decides none of them.

// The window: a border round its own caption bar and, below it, the client
// area that the controls' places are relative to. Its size is fixed. Pixels at
// 96 DPI.
struct TFormSpec {
  const char* Name;     // the window's name; on Windows its class, by which other programs find it
  const char* Caption;  // with one trailing blank
  int Left, Top;        // where it opens on the screen
  int ClientWidth, ClientHeight;
  int CaptionBarHeight;
  int Border;
};
constexpr TFormSpec FormSpec() { return {"TForm1", "Kestrine ", 328, 176, 352, 392, 20, 1}; }

// The caption bar's buttons, in their order from left to right after the caption.
enum class TGlyph : std::uint8_t { Tray, Rollup, Minimize, Close };  // the roll-up glyph turns over while rolled up
struct TCaptionButtonSpec {
  const char* Name;
  const char* Title;  // its tip, and its name for screen readers
  TGlyph Glyph;
  TFrameCommand Command;
};
std::span<const TCaptionButtonSpec> CaptionButtons();

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
// the parent (none: the client area); a page fills the page control's display
// area.
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

// A caption that runs free, beside no frame of its own, takes at least the
// width it needs in the font the view draws it in, so that no font cuts it:
// labels, check boxes and radio buttons. Their places were made for a narrow
// bitmap face, which a system may lack (Wine draws in Liberation Sans). The
// others keep the width of their place.
constexpr bool WidensToCaption(TControlKind kind) {
  return kind == TControlKind::Label || kind == TControlKind::CheckBox || kind == TControlKind::RadioButton;
}

// What names a box for the keyboard and for screen readers: the label (or
// check box) just before it, and for a number the unit just after it.
struct TBoxLabel {
  TControl Box;
  TControl Label;
  std::optional<TControl> Unit;
};
std::span<const TBoxLabel> BoxLabels();
// The box's name for screen readers: its label's caption without the trailing
// blanks, then its unit's after a comma ("Synchronize time every, minutes").
std::string AccessibleName(const TBoxLabel& pair);
