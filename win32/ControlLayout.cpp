// SPDX-License-Identifier: MIT
#include "ControlLayout.h"

#include <commctrl.h>
#include <initguid.h>  // the accessibility GUIDs are defined here
#include <oleacc.h>

#include <algorithm>

#include "ControlIds.h"
#include "Form/ControlTable.h"
#include "Platform/Windows/Utf8.h"

namespace {

constexpr const wchar_t* PanelClass = L"KestrinePanel";

// A label never wraps: a caption that ends in a blank would otherwise lose its
// last word to a second line that its one-line height does not show.
constexpr DWORD LabelStyle = SS_LEFTNOWORDWRAP | SS_NOPREFIX;

const wchar_t* ClassOf(TControlKind kind) {
  switch (kind) {
    case TControlKind::Label: return WC_STATICW;
    case TControlKind::ClockBox:
    case TControlKind::Edit: return WC_EDITW;
    case TControlKind::PageControl: return WC_TABCONTROLW;
    case TControlKind::List: return WC_COMBOBOXW;
    default: return WC_BUTTONW;
  }
}

// WS_GROUP begins a run the arrow keys stay within; a radio group takes the
// keyboard at its first button only.
DWORD StyleOf(const TControlSpec& spec) {
  const DWORD group = spec.GroupStart ? WS_GROUP : 0;
  switch (spec.Kind) {
    case TControlKind::Label: return LabelStyle | group;
    case TControlKind::ClockBox: return WS_TABSTOP | ES_READONLY | ES_CENTER | ES_AUTOHSCROLL | group;
    case TControlKind::Edit: return WS_TABSTOP | ES_AUTOHSCROLL | group;
    case TControlKind::Button: return WS_TABSTOP | BS_PUSHBUTTON | group;
    case TControlKind::PageControl: return WS_TABSTOP | WS_CLIPSIBLINGS | group;
    case TControlKind::Page: return 0;  // a panel (CreatePanel)
    case TControlKind::RadioButton: return BS_AUTORADIOBUTTON | (spec.GroupStart ? WS_GROUP | WS_TABSTOP : 0);
    case TControlKind::CheckBox: return WS_TABSTOP | BS_AUTOCHECKBOX | group;
    case TControlKind::GroupBox: return BS_GROUPBOX | group;
    case TControlKind::List: return WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | group;
  }
  return 0;
}

HWND& At(TClientControls& controls, TControl id) { return controls.Controls[static_cast<std::size_t>(id)]; }
HWND At(const TClientControls& controls, TControl id) { return controls.Controls[static_cast<std::size_t>(id)]; }

// A group box draws only: the controls in it are the page's children, placed by the box's offset.
bool InGroupBox(const TControlSpec& spec) {
  return spec.Parent && ControlSpec(*spec.Parent).Kind == TControlKind::GroupBox;
}

HWND ParentWindow(const TControlSpec& spec, const TClientControls& controls, HWND client) {
  if (!spec.Parent) return client;
  return At(controls, InGroupBox(spec) ? *ControlSpec(*spec.Parent).Parent : *spec.Parent);
}

LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX: return SendMessageW(GetAncestor(window, GA_ROOT), message, wParam, lParam);
    default: return DefWindowProcW(window, message, wParam, lParam);
  }
}

// The caption's width in this font, without trailing blanks, which show nothing.
int CaptionWidth(HWND control, HFONT font) {
  wchar_t text[128] = {};
  int length = GetWindowTextW(control, text, static_cast<int>(std::size(text)));
  while (length > 0 && text[length - 1] == L' ') --length;
  HDC dc = GetDC(control);
  const HGDIOBJ old = SelectObject(dc, font);
  SIZE extent{};
  GetTextExtentPoint32W(dc, text, length, &extent);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return static_cast<int>(extent.cx);
}

// The width a caption needs in this font: a check box's or radio button's with its box.
int NeededWidth(const TControlSpec& spec, HWND control, HFONT font, const TScale& scale) {
  const bool withBox = spec.Kind == TControlKind::CheckBox || spec.Kind == TControlKind::RadioButton;
  return CaptionWidth(control, font) + (withBox ? GetSystemMetrics(SM_CXMENUCHECK) + scale(6) : 0);
}

HWND CreateControl(const TControlSpec& spec, HWND parent, int id, HINSTANCE instance) {
  const bool edit = spec.Kind == TControlKind::ClockBox || spec.Kind == TControlKind::Edit;
  return CreateWindowExW(edit ? WS_EX_CLIENTEDGE : 0, ClassOf(spec.Kind), Platform::WideFromUtf8(spec.Caption).c_str(),
                         WS_CHILD | WS_VISIBLE | StyleOf(spec), 0, 0, 0, 0, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
}

// The table's initial state: a page's tab, a list's items, a button's check.
void SetUp(const TControlSpec& spec, HWND control, const TClientControls& controls, int pageIndex) {
  if (spec.Kind == TControlKind::Page) {
    const std::wstring caption = Platform::WideFromUtf8(spec.Caption);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(caption.c_str());
    SendMessageW(controls.Tabs, TCM_INSERTITEMW, static_cast<WPARAM>(pageIndex), reinterpret_cast<LPARAM>(&item));
  }
  for (const char* item : spec.Items)
    SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Platform::WideFromUtf8(item).c_str()));
  if (!spec.Items.empty()) SendMessageW(control, CB_SETCURSEL, 0, 0);
  if (spec.Checked) SendMessageW(control, BM_SETCHECK, BST_CHECKED, 0);
}

void PlaceControl(const TControlSpec& spec, HWND control, HFONT font, const TScale& scale) {
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  int left = spec.Left, top = spec.Top;
  if (InGroupBox(spec)) {
    left += ControlSpec(*spec.Parent).Left;
    top += ControlSpec(*spec.Parent).Top;
  }
  int width = scale(spec.Width);
  const int height = spec.Kind == TControlKind::List ? spec.Height + 80 : spec.Height;  // with its drop-down list
  if (WidensToCaption(spec.Kind)) width = std::max(width, NeededWidth(spec, control, font, scale));
  SetWindowPos(control, nullptr, scale(left), scale(top), width, scale(height), SWP_NOZORDER | SWP_NOACTIVATE);
}

// The page control's display area, in its parent's coordinates.
RECT PageBounds(HWND tabs) {
  RECT display{};
  GetClientRect(tabs, &display);
  SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
  MapWindowPoints(tabs, GetParent(tabs), reinterpret_cast<POINT*>(&display), 2);
  return display;
}

}  // namespace

void RegisterPanelClass(HINSTANCE instance) {
  WNDCLASSEXW panel{};
  panel.cbSize = sizeof panel;
  panel.lpfnWndProc = PanelProc;
  panel.hInstance = instance;
  panel.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  panel.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  panel.lpszClassName = PanelClass;
  RegisterClassExW(&panel);
}

HWND CreatePanel(HWND parent, int id, RECT bounds, HINSTANCE instance) {
  return CreateWindowExW(WS_EX_CONTROLPARENT, PanelClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, bounds.left,
                         bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
}

// Created in tab order at no place, then placed. The page control follows the
// clocks in the tab order, and each page follows it: the pages are its
// siblings, created after it, so that the dialog keys stop on the page control
// itself and then walk into the page shown. It clips its siblings, so the page
// shown paints above it.
TClientControls CreateClientControls(HWND client, HINSTANCE instance, HFONT font, const TScale& scale) {
  TClientControls result;
  std::size_t pages = 0;
  for (const TControlSpec& spec : ControlTable()) {
    const int id = ControlId(spec.Id);
    const HWND control = spec.Kind == TControlKind::Page
                             ? CreatePanel(client, id, {}, instance)
                             : CreateControl(spec, ParentWindow(spec, result, client), id, instance);
    At(result, spec.Id) = control;
    if (spec.Kind == TControlKind::PageControl) result.Tabs = control;
    if (spec.Kind == TControlKind::Page) result.Pages.at(pages) = control;
    SetUp(spec, control, result, static_cast<int>(pages));
    if (spec.Kind == TControlKind::Page) ++pages;
  }
  PlaceClientControls(result, font, scale);
  ShowPage(result, 0);
  return result;
}

void PlaceClientControls(const TClientControls& controls, HFONT font, const TScale& scale) {
  for (const TControlSpec& spec : ControlTable()) {
    const HWND control = At(controls, spec.Id);
    if (spec.Kind != TControlKind::Page) {
      PlaceControl(spec, control, font, scale);
      continue;
    }
    const RECT display = PageBounds(controls.Tabs);
    SetWindowPos(control, nullptr, display.left, display.top, display.right - display.left,
                 display.bottom - display.top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void ShowPage(const TClientControls& controls, int index) {
  if (index < 0 || index >= 3) return;
  SendMessageW(controls.Tabs, TCM_SETCURSEL, index, 0);
  for (int page = 0; page < 3; ++page) ShowWindow(controls.Pages[page], page == index ? SW_SHOW : SW_HIDE);
}

void TBoxNames::Set(const TClientControls& controls) {
  if (FServices != nullptr) return;
  FComStarted = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                              reinterpret_cast<void**>(&FServices)))) {
    Clear();
    return;
  }
  for (const TBoxLabel& pair : BoxLabels()) {
    const HWND box = controls.Controls[static_cast<std::size_t>(pair.Box)];
    const std::wstring name = Platform::WideFromUtf8(AccessibleName(pair));
    if (SUCCEEDED(FServices->SetHwndPropStr(box, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, PROPID_ACC_NAME,
                                            name.c_str())))
      FBoxes.push_back(box);
  }
}

void TBoxNames::Clear() {
  if (FServices != nullptr) {
    MSAAPROPID name = PROPID_ACC_NAME;
    for (const HWND box : FBoxes)
      FServices->ClearHwndProps(box, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, &name, 1);
    FServices->Release();
    FServices = nullptr;
  }
  FBoxes.clear();
  if (FComStarted) CoUninitialize();
  FComStarted = false;
}
