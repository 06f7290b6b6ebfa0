#include "ControlLayout.h"

#include <commctrl.h>

#include <algorithm>

#include "ControlIds.h"

namespace {

constexpr const wchar_t* PanelClass = L"KestrinePanel";

enum class TParent { Client, Page1, Page2, Page3 };

struct TControlSpec {
  int Id;
  const wchar_t* Class;
  const wchar_t* Caption;
  DWORD Style;
  TParent Parent;
  int Left, Top, Width, Height;
};

// A label never wraps: a caption that ends in a blank would otherwise lose its
// last word to a second line that its one-line height does not show.
constexpr DWORD Label = SS_LEFTNOWORDWRAP | SS_NOPREFIX;
constexpr DWORD ClockBox = WS_TABSTOP | ES_READONLY | ES_CENTER | ES_AUTOHSCROLL;
constexpr DWORD Edit = WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD Push = WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD Radio = WS_TABSTOP | BS_AUTORADIOBUTTON;
constexpr DWORD Check = WS_TABSTOP | BS_AUTOCHECKBOX;

// In tab order; a label stands before the box it names. WS_GROUP ends a radio group.
// Controls inside a group box are children of the page, placed by the box's offset.
constexpr TControlSpec Specs[] = {
    {IDC_TeButton1, WC_BUTTONW, L"Synchroize", Push | WS_GROUP, TParent::Client, 192, 120, 75, 25},
    {IDC_TeLabel1, WC_STATICW, L"Server Time:", Label | WS_GROUP, TParent::Client, 8, 24, 60, 13},
    {IDC_TeSEdit1, WC_EDITW, L"", ClockBox, TParent::Client, 72, 24, 233, 21},
    {IDC_TeLabel2, WC_STATICW, L"Local Time:", Label, TParent::Client, 8, 56, 55, 13},
    {IDC_TeSEdit2, WC_EDITW, L"", ClockBox, TParent::Client, 72, 56, 233, 21},
    {IDC_TeButton2, WC_BUTTONW, L"Refresh", Push, TParent::Client, 104, 120, 75, 25},
    {IDC_TeLabel3, WC_STATICW, L"Difference:", Label, TParent::Client, 8, 88, 52, 13},
    {IDC_TeSEdit3, WC_EDITW, L"", ClockBox, TParent::Client, 72, 88, 233, 21},

    {IDC_ckNistServer, WC_BUTTONW, L"NIST Atomic Time Servers", Radio | WS_GROUP, TParent::Page1, 16, 16, 201, 20},
    {IDC_ckCustomServer, WC_BUTTONW, L"Custom Time Server", BS_AUTORADIOBUTTON, TParent::Page1, 16, 48, 201, 20},
    {IDC_TeScrollingLabel1, WC_STATICW, L"Server Address: ", Label | WS_GROUP, TParent::Page1, 24, 80, 78, 13},
    {IDC_edtServer, WC_EDITW, L"", Edit, TParent::Page1, 112, 80, 201, 21},
    {IDC_TeScrollingLabel2, WC_STATICW, L"Server Protocol: ", Label, TParent::Page1, 24, 112, 79, 13},
    {IDC_cbSeverType, WC_COMBOBOXW, L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, TParent::Page1, 112, 112, 57, 21},
    // Wide enough for the address that follows the caption.
    {IDC_labCurServer, WC_STATICW, L"Current Server: ", Label, TParent::Page1, 24, 152, 289, 13},

    {IDC_ckSyncTime, WC_BUTTONW, L"Synchronize time every ", Check | WS_GROUP, TParent::Page2, 16, 16, 129, 20},
    {IDC_edtSyncTime, WC_EDITW, L"1", Edit, TParent::Page2, 152, 16, 33, 21},
    {IDC_TeLabel4, WC_STATICW, L"minutes", Label, TParent::Page2, 191, 18, 36, 13},
    {IDC_ckRunStartup, WC_BUTTONW, L"Run program at windows startup", Check, TParent::Page2, 16, 56, 265, 20},
    {IDC_ckSyncOnStart, WC_BUTTONW, L"Synchronize time on program startup", Check, TParent::Page2, 16, 96, 265, 20},

    {IDC_TeGroupBox1, WC_BUTTONW, L"Display Time Format", BS_GROUPBOX | WS_GROUP, TParent::Page3, 8, 16, 305, 89},
    {IDC_ckTimeLocaFormat, WC_BUTTONW, L"Local time format", Radio | WS_GROUP, TParent::Page3, 8 + 16, 16 + 16, 201, 20},
    {IDC_ckUTCFormat, WC_BUTTONW, L"UTC", BS_AUTORADIOBUTTON, TParent::Page3, 8 + 16, 16 + 48, 201, 20},
    {IDC_TeGroupBox2, WC_BUTTONW, L"Time Server", BS_GROUPBOX | WS_GROUP, TParent::Page3, 8, 112, 305, 57},
    {IDC_ckRunTimeServer, WC_BUTTONW, L"Run as local time server (Time protocol)", Check | WS_GROUP, TParent::Page3,
     8 + 16, 112 + 24, 241, 20},
};

constexpr const wchar_t* PageCaptions[] = {L"Time Server", L"Synchroniztion", L"Misc"};
constexpr int PageIds[] = {IDC_TeTabSheet1, IDC_TeTabSheet2, IDC_TeTabSheet4};

LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:
      return SendMessageW(GetAncestor(window, GA_ROOT), message, wParam, lParam);
    default:
      return DefWindowProcW(window, message, wParam, lParam);
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

// Labels, check boxes and radio buttons are as wide as their caption at least,
// so that no font cuts one.
int NeededWidth(HWND control, HFONT font, bool withBox, const TScale& scale) {
  return CaptionWidth(control, font) + (withBox ? GetSystemMetrics(SM_CXMENUCHECK) + scale(6) : 0);
}

bool IsClass(const TControlSpec& spec, const wchar_t* name) { return lstrcmpW(spec.Class, name) == 0; }

const TControlSpec* SpecOf(int id) {
  for (const TControlSpec& spec : Specs)
    if (spec.Id == id) return &spec;
  return nullptr;
}

HWND CreateControl(const TControlSpec& spec, HWND parent, HINSTANCE instance) {
  const bool edit = IsClass(spec, WC_EDITW);
  return CreateWindowExW(edit ? WS_EX_CLIENTEDGE : 0, spec.Class, spec.Caption, WS_CHILD | WS_VISIBLE | spec.Style, 0,
                         0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.Id)), instance, nullptr);
}

void PlaceControl(const TControlSpec& spec, HWND control, HFONT font, const TScale& scale) {
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  int width = scale(spec.Width);
  const int height = IsClass(spec, WC_COMBOBOXW) ? spec.Height + 80 : spec.Height;  // with its drop-down list
  const DWORD kind = spec.Style & BS_TYPEMASK;
  const bool withBox = IsClass(spec, WC_BUTTONW) && (kind == BS_AUTOCHECKBOX || kind == BS_AUTORADIOBUTTON);
  if (IsClass(spec, WC_STATICW) || withBox) width = std::max(width, NeededWidth(control, font, withBox, scale));
  SetWindowPos(control, nullptr, scale(spec.Left), scale(spec.Top), width, scale(height),
               SWP_NOZORDER | SWP_NOACTIVATE);
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

// Created in tab order at no place, then placed.
TClientControls CreateClientControls(HWND client, HINSTANCE instance, HFONT font, const TScale& scale) {
  TClientControls result;
  for (const TControlSpec& spec : Specs)
    if (spec.Parent == TParent::Client) result.Controls.emplace_back(spec.Id, CreateControl(spec, client, instance));
  // The page control follows the clocks in the tab order, and each page
  // follows it: the pages are its siblings, created after it, so that the
  // dialog keys stop on the page control itself and then walk into the page
  // shown. It clips its siblings, so the page shown paints above it.
  result.Tabs = CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | WS_GROUP,
                                0, 0, 0, 0, client, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_TePageControl1)),
                                instance, nullptr);
  result.Controls.emplace_back(IDC_TePageControl1, result.Tabs);
  for (int page = 0; page < 3; ++page) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(PageCaptions[page]);
    SendMessageW(result.Tabs, TCM_INSERTITEMW, page, reinterpret_cast<LPARAM>(&item));
  }
  for (int page = 0; page < 3; ++page) {
    result.Pages[page] = CreatePanel(client, PageIds[page], {}, instance);
    result.Controls.emplace_back(PageIds[page], result.Pages[page]);
    const auto parent = static_cast<TParent>(page + 1);
    for (const TControlSpec& spec : Specs)
      if (spec.Parent == parent)
        result.Controls.emplace_back(spec.Id, CreateControl(spec, result.Pages[page], instance));
  }
  PlaceClientControls(result, font, scale);
  ShowPage(result, 0);
  return result;
}

void PlaceClientControls(const TClientControls& controls, HFONT font, const TScale& scale) {
  SendMessageW(controls.Tabs, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  SetWindowPos(controls.Tabs, nullptr, scale(8), scale(160), scale(337), scale(217), SWP_NOZORDER | SWP_NOACTIVATE);
  const RECT display = PageBounds(controls.Tabs);
  for (HWND page : controls.Pages)
    SetWindowPos(page, nullptr, display.left, display.top, display.right - display.left, display.bottom - display.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  for (const auto& [id, control] : controls.Controls)
    if (const TControlSpec* spec = SpecOf(id)) PlaceControl(*spec, control, font, scale);
}

void ShowPage(const TClientControls& controls, int index) {
  if (index < 0 || index >= 3) return;
  SendMessageW(controls.Tabs, TCM_SETCURSEL, index, 0);
  for (int page = 0; page < 3; ++page) ShowWindow(controls.Pages[page], page == index ? SW_SHOW : SW_HIDE);
}
