// SPDX-License-Identifier: MIT
#include "CaptionBar.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

#include "ControlIds.h"
#include "Form/ControlTable.h"
#include "Platform/Windows/Utf8.h"

namespace {

constexpr const wchar_t* CaptionClass = L"KestrineCaption";

// The buttons end at the bar's right edge, one every ButtonStep pixels (at 96 DPI).
constexpr int ButtonWidth = 16, ButtonHeight = 14, ButtonTop = 3, ButtonStep = 18;

// The distance of a button's left edge from the bar's right edge.
int FromRight(const TCaptionButtonSpec& button) {
  const std::span<const TCaptionButtonSpec> buttons = CaptionButtons();
  return ButtonStep * static_cast<int>(buttons.data() + buttons.size() - &button);
}

// The system's caption font, which it gives at the system's DPI, at this one.
HFONT CreateCaptionFont(const TScale& scale) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  HDC screen = GetDC(nullptr);
  const int systemDpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  metrics.lfCaptionFont.lfHeight = MulDiv(metrics.lfCaptionFont.lfHeight, scale.Dpi, systemDpi > 0 ? systemDpi : 96);
  return CreateFontIndirectW(&metrics.lfCaptionFont);
}

// The glyphs are drawn with lines, not with the system's symbol font, which a
// machine may lack (Wine without its own fonts has none).
void DrawGlyph(HDC dc, RECT box, TGlyph glyph, bool pushed) {
  if (pushed) OffsetRect(&box, 1, 1);
  const int width = box.right - box.left, height = box.bottom - box.top;
  const int unit = std::max(1, height / 7);
  HBRUSH ink = GetSysColorBrush(COLOR_BTNTEXT);
  if (glyph == TGlyph::Minimize) {
    RECT bar{box.left + width / 4, box.bottom - 2 * unit - 2, box.right - width / 4, box.bottom - unit - 1};
    FillRect(dc, &bar, ink);
  } else if (glyph == TGlyph::Tray) {  // an arrow down into a tray, unlike the minimize bar
    RECT floor{box.left + width / 4, box.bottom - unit - 2, box.right - width / 4, box.bottom - 2};
    RECT left{floor.left, floor.top - 2 * unit, floor.left + unit, floor.top};
    RECT right{floor.right - unit, floor.top - 2 * unit, floor.right, floor.top};
    FillRect(dc, &floor, ink);
    FillRect(dc, &left, ink);
    FillRect(dc, &right, ink);
    const int middle = box.left + width / 2, tip = floor.top - unit;
    for (int row = 0; row <= 4 * unit && tip - row > box.top + 1; ++row) {
      const int half = row <= 2 * unit ? row : unit / 2;  // the head, then the stem
      RECT line{middle - half, tip - row - 1, middle + half + 1, tip - row};
      FillRect(dc, &line, ink);
    }
  } else {
    HPEN pen = CreatePen(PS_SOLID, unit, GetSysColor(COLOR_BTNTEXT));
    const HGDIOBJ old = SelectObject(dc, pen);
    const int inset = std::min(width, height) / 4;
    MoveToEx(dc, box.left + inset + 1, box.top + inset, nullptr);
    LineTo(dc, box.right - inset - 1, box.bottom - inset);
    MoveToEx(dc, box.right - inset - 2, box.top + inset, nullptr);
    LineTo(dc, box.left + inset, box.bottom - inset);
    SelectObject(dc, old);
    DeleteObject(pen);
  }
}

}  // namespace

void TCaptionBar::RegisterWindowClass(HINSTANCE instance) {
  WNDCLASSEXW bar{};
  bar.cbSize = sizeof bar;
  bar.style = CS_DBLCLKS;
  bar.lpfnWndProc = Proc;
  bar.hInstance = instance;
  bar.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  bar.lpszClassName = CaptionClass;
  RegisterClassExW(&bar);
}

TCaptionBar::TCaptionBar(HWND root, HINSTANCE instance, const TScale& scale, HICON icon, HFONT buttonFont)
    : FRoot(root), FScale(scale), FIcon(icon) {
  FWindow = CreateWindowExW(0, CaptionClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 0, 0, root, nullptr,
                            instance, this);
  // The title is what WM_GETTEXT and screen readers get.
  for (const TCaptionButtonSpec& spec : CaptionButtons()) {
    HWND button = CreateWindowExW(
        0, L"BUTTON", Platform::WideFromUtf8(spec.Title).c_str(), WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 0, 0, 0, 0,
        FWindow, reinterpret_cast<HMENU>(static_cast<INT_PTR>(CaptionButtonId(spec))), instance, nullptr);
    SetWindowSubclass(button, ButtonProc, 0, reinterpret_cast<DWORD_PTR>(this));
  }
  Rescale(scale, icon, buttonFont);
}

// The drawn glyphs are not all standard ones: each button names itself in a tip.
// A top-level window of its own, made once the window is shown: under Wine it
// costs as many calls to the server as the bar and its four buttons together.
void TCaptionBar::AddTips() {
  if (FTips != nullptr) return;
  const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(FWindow, GWLP_HINSTANCE));
  FTips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, FWindow, nullptr, instance, nullptr);
  for (const TCaptionButtonSpec& spec : CaptionButtons()) {
    std::wstring title = Platform::WideFromUtf8(spec.Title);  // the tip keeps a copy
    TTTOOLINFOW tip{};
    tip.cbSize = sizeof tip;
    tip.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tip.hwnd = FWindow;
    tip.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(FWindow, CaptionButtonId(spec)));
    tip.lpszText = title.data();
    SendMessageW(FTips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tip));
  }
}

void TCaptionBar::Rescale(const TScale& scale, HICON icon, HFONT buttonFont) {
  FScale = scale;
  FIcon = icon;
  if (FCaptionFont != nullptr) DeleteObject(FCaptionFont);
  FCaptionFont = CreateCaptionFont(scale);
  constexpr TFormSpec form = FormSpec();
  SetWindowPos(FWindow, nullptr, form.Border, form.Border, scale(form.ClientWidth), scale(form.CaptionBarHeight),
               SWP_NOZORDER | SWP_NOACTIVATE);
  for (const TCaptionButtonSpec& spec : CaptionButtons()) {
    HWND button = GetDlgItem(FWindow, CaptionButtonId(spec));
    SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(buttonFont), FALSE);
    SetWindowPos(button, nullptr, scale(form.ClientWidth - FromRight(spec)), scale(ButtonTop), scale(ButtonWidth),
                 scale(ButtonHeight), SWP_NOZORDER | SWP_NOACTIVATE);
  }
  InvalidateRect(FWindow, nullptr, TRUE);
}

TCaptionBar::~TCaptionBar() {
  if (FCaptionFont != nullptr) DeleteObject(FCaptionFont);
}

void TCaptionBar::SetRolledUp(bool rolledUp) {
  FRolledUp = rolledUp;
  for (const TCaptionButtonSpec& spec : CaptionButtons())
    if (spec.Glyph == TGlyph::Rollup) InvalidateRect(GetDlgItem(FWindow, CaptionButtonId(spec)), nullptr, TRUE);
}

void TCaptionBar::SetActive(bool active) {
  if (FActive == active) return;
  FActive = active;
  InvalidateRect(FWindow, nullptr, TRUE);
}

LRESULT CALLBACK TCaptionBar::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<TCaptionBar*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->FWindow = window;
  }
  auto* self = reinterpret_cast<TCaptionBar*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  return self != nullptr ? self->Handle(message, wParam, lParam) : DefWindowProcW(window, message, wParam, lParam);
}

LRESULT TCaptionBar::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  switch (message) {
    case WM_PAINT: Paint(); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_DRAWITEM: DrawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)); return TRUE;
    case WM_COMMAND:
      if (const TCaptionButtonSpec* button = CaptionButtonOfId(LOWORD(wParam)))
        if (HIWORD(wParam) == BN_CLICKED) Command(button->Command);
      return 0;
    case WM_LBUTTONDOWN: {
      const RECT icon = IconRect();
      if (PtInRect(&icon, point)) {
        IconAction(FIconClicks.Pressed(GetTickCount64(), GetDoubleClickTime(), false));
        return 0;
      }
      // The system moves the window as it would by its own caption.
      POINT screen = point;
      ClientToScreen(FWindow, &screen);
      ReleaseCapture();
      SendMessageW(FRoot, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(screen.x, screen.y));
      return 0;
    }
    case WM_LBUTTONDBLCLK: {
      const RECT icon = IconRect();
      if (PtInRect(&icon, point)) IconAction(FIconClicks.DoubleClicked());
      return 0;
    }
    case WM_RBUTTONUP: {
      POINT screen = point;
      ClientToScreen(FWindow, &screen);
      if (OnSystemMenu) OnSystemMenu(screen);
      return 0;
    }
    default: return DefWindowProcW(FWindow, message, wParam, lParam);
  }
}

RECT TCaptionBar::IconRect() const {
  const int size = FScale(FormSpec().CaptionBarHeight);
  return {0, 0, size, size};
}

// The menu runs its own loop, which takes the clicks while it shows: a press
// here never finds it open.
void TCaptionBar::IconAction(TIconClicks::TAction action) {
  if (action == TIconClicks::TAction::CloseWindow) {
    Command(TFrameCommand::Close);
  } else if (action == TIconClicks::TAction::OpenMenu && OnSystemMenu) {
    POINT below{0, FScale(FormSpec().CaptionBarHeight)};
    ClientToScreen(FWindow, &below);
    OnSystemMenu(below);
  }
}

void TCaptionBar::Command(TFrameCommand command) {
  if (OnCommand) OnCommand(command);
}

void TCaptionBar::Paint() {
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(FWindow, &paint);
  RECT bar{};
  GetClientRect(FWindow, &bar);
  FillRect(dc, &bar, GetSysColorBrush(FActive ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION));
  const int iconSize = FScale(16), iconTop = (bar.bottom - iconSize) / 2;
  DrawIconEx(dc, iconTop, iconTop, FIcon, iconSize, iconSize, 0, nullptr, DI_NORMAL);
  wchar_t caption[128] = {};
  GetWindowTextW(FRoot, caption, static_cast<int>(std::size(caption)));
  RECT text{iconTop + iconSize + FScale(4), 0, FScale(FormSpec().ClientWidth - FromRight(CaptionButtons().front()) - 4),
            bar.bottom};
  const HGDIOBJ oldFont = SelectObject(dc, FCaptionFont);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(FActive ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
  DrawTextW(dc, caption, -1, &text, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_END_ELLIPSIS | DT_NOPREFIX);
  SelectObject(dc, oldFont);
  EndPaint(FWindow, &paint);
}

// Pressed: sunk, the glyph a pixel down and right; under the mouse: ringed in
// the system's highlight colour.
void TCaptionBar::DrawButton(const DRAWITEMSTRUCT& item) {
  RECT box = item.rcItem;
  const bool pushed = (item.itemState & ODS_SELECTED) != 0;
  const bool hot = item.hwndItem == FHot && !pushed;
  const UINT state = (pushed ? DFCS_PUSHED : 0) | (hot ? DFCS_HOT : 0);
  const TCaptionButtonSpec* button = CaptionButtonOfId(static_cast<int>(item.CtlID));
  if (button == nullptr) return;
  if (button->Glyph == TGlyph::Rollup) {
    DrawFrameControl(item.hDC, &box, DFC_SCROLL, (FRolledUp ? DFCS_SCROLLDOWN : DFCS_SCROLLUP) | state);
  } else {
    DrawFrameControl(item.hDC, &box, DFC_BUTTON, DFCS_BUTTONPUSH | state);
    DrawGlyph(item.hDC, item.rcItem, button->Glyph, pushed);
  }
  if (hot) FrameRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_HIGHLIGHT));
}

// The buttons' own procedure, subclassed: it tells the bar which one the mouse is over.
LRESULT CALLBACK TCaptionBar::ButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                         DWORD_PTR data) {
  auto* self = reinterpret_cast<TCaptionBar*>(data);
  if (message == WM_MOUSEMOVE && self->FHot != button) {
    TRACKMOUSEEVENT leave{sizeof leave, TME_LEAVE, button, 0};
    TrackMouseEvent(&leave);
    self->SetHot(button);
  } else if (message == WM_MOUSELEAVE && self->FHot == button) {
    self->SetHot(nullptr);
  }
  return DefSubclassProc(button, message, wParam, lParam);
}

void TCaptionBar::SetHot(HWND button) {
  if (FHot != nullptr) InvalidateRect(FHot, nullptr, FALSE);
  FHot = button;
  if (FHot != nullptr) InvalidateRect(FHot, nullptr, FALSE);
}
