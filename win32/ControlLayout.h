// SPDX-License-Identifier: MIT
#pragma once
#include <windows.h>

#include <array>
#include <vector>

#include "Form/FormView.h"

// The fixed layout is in pixels at 96 DPI, scaled to the DPI of the window's monitor.
struct TScale {
  int Dpi = 96;
  int operator()(int value) const { return MulDiv(value, Dpi, 96); }
};

// The client area with the controls of the table (ControlTable.h), the page
// control and its three pages among them. Every control is a child window with
// its id (ControlIds.h), created in the table's order, so that each label lies
// just before the box it names in the z-order, where screen readers look.
struct TClientControls {
  HWND Tabs = nullptr;
  std::array<HWND, 3> Pages{};
  std::array<HWND, ControlCount> Controls{};  // by TControl
};

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

struct IAccPropServices;

// Each box's name for screen readers (BoxLabels). Its label lies just before it
// in the z-order, where they look for one; the name is also set on the box
// itself, which a box named by a check box and a unit needs. Through COM, which
// costs its start: set once the window shows, and cleared before the boxes go.
class TBoxNames {
public:
  TBoxNames() = default;
  ~TBoxNames() { Clear(); }
  TBoxNames(const TBoxNames&) = delete;
  TBoxNames& operator=(const TBoxNames&) = delete;

  void Set(const TClientControls& controls);
  void Clear();

private:
  IAccPropServices* FServices = nullptr;
  bool FComStarted = false;
  std::vector<HWND> FBoxes;
};
