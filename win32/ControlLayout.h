#pragma once
#include <windows.h>

#include <array>

#include "Form/FormView.h"

// The fixed layout is in pixels at 96 DPI, scaled to the DPI of the window's monitor.
struct TScale {
  int Dpi = 96;
  int operator()(int value) const { return MulDiv(value, Dpi, 96); }
};

// The client area (352 by 392 at 96 DPI) with the controls of the table
// (ControlTable.h), the page control and its three pages among them. Every
// control is a child window with its id (ControlIds.h): 1000 + its TControl.
struct TClientControls {
  HWND Tabs = nullptr;
  std::array<HWND, 3> Pages{};
  std::array<HWND, ControlCount> Controls{};  // by TControl
};

inline constexpr int FirstControlId = 1000;

inline constexpr int ClientWidth = 352;
inline constexpr int ClientHeight = 392;

// A plain container that hands its children's notifications (WM_COMMAND,
// WM_NOTIFY, WM_CTLCOLOR*) to the top-level window: the client area and the pages.
void RegisterPanelClass(HINSTANCE instance);
HWND CreatePanel(HWND parent, int id, RECT bounds, HINSTANCE instance);

TClientControls CreateClientControls(HWND client, HINSTANCE instance, HFONT font, const TScale& scale);

// Puts every control at its place and gives it the font: after creation and
// when the window moves to a monitor of another DPI.
void PlaceClientControls(const TClientControls& controls, HFONT font, const TScale& scale);

// Shows the page of this index and hides the others.
void ShowPage(const TClientControls& controls, int index);
