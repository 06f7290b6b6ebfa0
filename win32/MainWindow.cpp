// SPDX-License-Identifier: MIT
#include "MainWindow.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <atomic>
#include <exception>

#include "ControlIds.h"
#include "Core/IdSync.h"
#include "Form/AppTitle.h"
#include "Form/ControlTable.h"
#include "FrameMenu.h"
#include "Platform/InstanceClaim.h"
#include "Platform/Windows/Utf8.h"
#include "RegionalSettingsWin.h"
#include "ResourceIds.h"

namespace {

constexpr UINT WM_KESTRINE_TO_TRAY = WM_APP + 2;  // a minimize that came from outside
constexpr UINT_PTR TimerIds[] = {1, 2};           // TTimerId::Timer1, SyncTimer
// A timer's message comes only once nothing is left to paint: what the window
// does not need to be seen waits for it.
constexpr UINT_PTR AfterShownTimer = 4;
constexpr UINT_PTR TrayRetryTimer = 3;

std::atomic<bool> GWakePending{false};

std::size_t Index(TControl control) { return static_cast<std::size_t>(control); }

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

HICON LoadAppIcon(HINSTANCE instance, int widthMetric, int heightMetric) {
  return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_KESTRINE), IMAGE_ICON,
                                       GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric), LR_DEFAULTCOLOR));
}

bool HighContrast() {
  HIGHCONTRASTW contrast{};
  contrast.cbSize = sizeof contrast;
  return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) != FALSE &&
         (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

HICON LoadIconOfSize(HINSTANCE instance, int size) {
  return static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(IDI_KESTRINE), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

// The dialog font: 8 points.
HFONT CreateDialogFont(const TScale& scale) {
  return CreateFontW(-MulDiv(8, scale.Dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                     L"MS Shell Dlg");
}

int SystemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

// The DPI of the window's monitor (Windows 10 1607 on); before that, the system's.
int WindowDpi(HWND window) {
  using TGetDpiForWindow = UINT(WINAPI*)(HWND);
  static const auto getDpi = reinterpret_cast<TGetDpiForWindow>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  const int dpi = getDpi != nullptr ? static_cast<int>(getDpi(window)) : 0;
  return dpi > 0 ? dpi : SystemDpi();
}

}  // namespace

std::function<void()> TMainWindow::WakeHook(HWND window) {
  return [window] {
    // A full message queue refuses the post: the next queued call tries again.
    if (!GWakePending.exchange(true) && !PostMessageW(window, WM_KESTRINE_WAKE, 0, 0)) GWakePending = false;
  };
}

TMainWindow::TMainWindow(HINSTANCE instance) : FInstance(instance) {
  for (const TControlSpec& spec : ControlTable()) FColors[Index(spec.Id)] = spec.FontColor;
}

TMainWindow::~TMainWindow() {
  FMoveLoop.reset();
  FForm.reset();
  FTray.reset();
  if (FWindow != nullptr && IsWindow(FWindow)) DestroyWindow(FWindow);
  if (FFont != nullptr) DeleteObject(FFont);
  if (FIcon != nullptr) DestroyIcon(FIcon);
  if (FSmallIcon != nullptr) DestroyIcon(FSmallIcon);
  if (FCaptionIcon != nullptr) DestroyIcon(FCaptionIcon);
}

bool TMainWindow::Create() {
  FScale.Dpi = SystemDpi();
  FIcon = LoadAppIcon(FInstance, SM_CXICON, SM_CYICON);
  FSmallIcon = LoadAppIcon(FInstance, SM_CXSMICON, SM_CYSMICON);

  constexpr TFormSpec spec = FormSpec();
  const std::wstring className = Platform::WideFromUtf8(spec.Name);
  WNDCLASSEXW form{};
  form.cbSize = sizeof form;
  form.lpfnWndProc = Proc;
  form.hInstance = FInstance;
  form.hIcon = FIcon;
  form.hIconSm = FSmallIcon;
  form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  form.lpszClassName = className.c_str();
  if (RegisterClassExW(&form) == 0) return false;
  RegisterPanelClass(FInstance);
  TCaptionBar::RegisterWindowClass(FInstance);

  // A popup with a system menu: the frame is drawn here, the same with or without
  // a window manager's decorations, and its caption bar holds all four buttons.
  FWindow = CreateWindowExW(WS_EX_CONTROLPARENT | WS_EX_APPWINDOW, className.c_str(),
                            Platform::WideFromUtf8(spec.Caption).c_str(),
                            WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN, spec.Left, spec.Top, 0, 0,
                            nullptr, nullptr, FInstance, this);
  if (FWindow == nullptr) return false;
  FScale.Dpi = WindowDpi(FWindow);
  FFont = CreateDialogFont(FScale);
  FCaptionIcon = LoadIconOfSize(FInstance, FScale(16));
  FCaption = std::make_unique<TCaptionBar>(FWindow, FInstance, FScale, FCaptionIcon, FFont);
  FCaption->OnSystemMenu = [this](POINT at) { ShowSystemMenu(at); };
  FCaption->OnCommand = [this](TFrameCommand command) { RunCommand(command); };
  FClient = CreatePanel(FWindow, 0, ClientBounds(), FInstance);
  FLayout = CreateClientControls(FClient, FInstance, FFont, FScale);

  FTray = std::make_unique<TTrayIcon>(FWindow, FSmallIcon);
  FTaskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
  // Started "as administrator" (to set the clock), the window would not hear Explorer otherwise.
  ChangeWindowMessageFilterEx(FWindow, FTaskbarCreated, MSGFLT_ALLOW, nullptr);
  // A later start of the program calls this one, which may run elevated.
  FAnotherStart = RegisterWindowMessageW(Platform::TInstanceClaim::CallMessageName);
  ChangeWindowMessageFilterEx(FWindow, FAnotherStart, MSGFLT_ALLOW, nullptr);
  RebuildSystemMenu();
  ApplySize();
  FFocus = Control(TControl::TeButton1);  // first in the tab order
  ::SetTimer(FWindow, AfterShownTimer, USER_TIMER_MINIMUM, nullptr);
  return true;
}

bool TMainWindow::PreTranslate(const MSG& message) {
  if (message.message != WM_KEYDOWN) return false;
  if (message.hwnd != FWindow && !IsChild(FWindow, message.hwnd)) return false;
  // Enter presses the focused button; the dialog keys would send IDOK to a window that has none.
  if (message.wParam == VK_RETURN && (GetKeyState(VK_CONTROL) & 0x8000) == 0 &&
      (message.hwnd == Control(TControl::TeButton1) || message.hwnd == Control(TControl::TeButton2))) {
    SendMessageW(message.hwnd, BM_CLICK, 0, 0);
    return true;
  }
  if ((GetKeyState(VK_CONTROL) & 0x8000) == 0) return false;
  int step = 0;
  if (message.wParam == VK_TAB) step = (GetKeyState(VK_SHIFT) & 0x8000) != 0 ? -1 : 1;
  if (message.wParam == VK_NEXT) step = 1;
  if (message.wParam == VK_PRIOR) step = -1;
  if (step == 0 || !IsWindowVisible(FClient)) return false;
  const int pages = static_cast<int>(FLayout.Pages.size());
  const int current = static_cast<int>(SendMessageW(FLayout.Tabs, TCM_GETCURSEL, 0, 0));
  SendMessageW(FLayout.Tabs, TCM_SETCURSEL, static_cast<WPARAM>((current + step + pages) % pages), 0);
  PageChanged();  // TCM_SETCURSEL notifies nobody
  return true;
}

void TMainWindow::CreateForm(TFormOptions options) { FForm = std::make_unique<TForm1>(*this, std::move(options)); }

// Win32 calls back through system code, which no C++ exception may cross.
LRESULT CALLBACK TMainWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<TMainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->FWindow = window;
  }
  auto* self = reinterpret_cast<TMainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  try {
    return self->Handle(message, wParam, lParam);
  } catch (const std::exception& error) {
    const auto box = self->NestedLoop();
    MessageBoxW(window, Platform::WideFromUtf8(error.what()).c_str(), Platform::WideFromUtf8(ApplicationTitle).c_str(),
                MB_ICONERROR | MB_OK);
    return 0;
  }
}

LRESULT TMainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_KESTRINE_WAKE:
      GWakePending = false;
      IdSync::RunQueued();
      return 0;
    case WM_PAINT: PaintBorder(); return 0;
    case WM_ACTIVATE:
      FCaption->SetActive(LOWORD(wParam) != WA_INACTIVE);
      // The control that had the keyboard gets it back; rolled up, the window keeps it.
      if (LOWORD(wParam) == WA_INACTIVE)
        FFocus = GetFocus();
      else if (FFocus != nullptr && IsChild(FWindow, FFocus) && IsWindowVisible(FFocus))
        SetFocus(FFocus);
      else
        SetFocus(FWindow);
      return 0;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->hwndFrom == FLayout.Tabs && header->code == TCN_SELCHANGE) PageChanged();
      return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
      return ControlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), message == WM_CTLCOLOREDIT);
    case WM_INITMENUPOPUP:
      if (reinterpret_cast<HMENU>(wParam) == GetSystemMenu(FWindow, FALSE)) RebuildSystemMenu();
      return 0;
    case WM_SIZE:
      if (wParam == SIZE_RESTORED && FForm != nullptr) FForm->TeForm1.NoLongerMinimized();
      if (wParam == SIZE_MINIMIZED) PostMessageW(FWindow, WM_KESTRINE_TO_TRAY, 0, 0);
      return 0;
    case WM_DPICHANGED: DpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam)); return 0;
    case WM_TIMER:
      if (wParam != AfterShownTimer) break;
      KillTimer(FWindow, AfterShownTimer);
      FCaption->AddTips();
      FBoxNames.Set(FLayout);
      return 0;
    case WM_SYSCOLORCHANGE:
    case WM_THEMECHANGED:
      // A new palette or high contrast: every control, the caption bar and the boxes repaint.
      RedrawWindow(FWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
      break;
    case WM_QUERYENDSESSION: return TRUE;
    case WM_CLOSE:
      // Under an error box or a menu the logic still runs below: it asks again when they end.
      if (FForm == nullptr || FForm->CloseQuery()) DestroyWindow(FWindow);
      return 0;
    case WM_ENTERSIZEMOVE:
      if (FForm != nullptr) FMoveLoop.emplace(*FForm);
      return 0;
    case WM_EXITSIZEMOVE: FMoveLoop.reset(); return 0;
    case WM_DESTROY:
      // The logic saves from the controls, which still exist here.
      FMoveLoop.reset();
      FForm.reset();
      FBoxNames.Clear();
      if (FTray) FTray->Hide();
      PostQuitMessage(0);
      return 0;
    default: break;
  }
  if (FForm != nullptr) return HandleForm(message, wParam, lParam);
  return DefWindowProcW(FWindow, message, wParam, lParam);
}

LRESULT TMainWindow::HandleForm(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == FTaskbarCreated && FTaskbarCreated != 0) {
    if (FTray->ShellRestarted()) TrayRetried(TTrayIcon::TRetry::Added);
    return 0;
  }
  if (message == FAnotherStart && FAnotherStart != 0) {
    FForm->AnotherStart();
    return 0;
  }
  switch (message) {
    case WM_COMMAND: Command(LOWORD(wParam), HIWORD(wParam)); return 0;
    case WM_SYSCOMMAND:
      if (SysCommand(wParam, lParam)) return 0;
      break;
    case WM_TIMER:
      if (wParam == TrayRetryTimer) {
        TrayRetried(FTray->Retry());
        return 0;
      }
      FForm->TimerFired(wParam == TimerIds[1] ? TTimerId::SyncTimer : TTimerId::Timer1);
      return 0;
    case WM_TIMECHANGE: FForm->TimeChanged(); return 0;
    case WM_ENDSESSION:
      if (wParam != FALSE) FForm->SessionEnding();
      return 0;
    case WM_SETTINGCHANGE:
      if (lParam != 0 && lstrcmpiW(reinterpret_cast<const wchar_t*>(lParam), L"intl") == 0)
        FForm->SetUserFormat(UserFormatSettings());
      break;
    case WM_KESTRINE_TRAY: TrayMessage(static_cast<UINT>(LOWORD(lParam)), wParam); return 0;
    case WM_KESTRINE_TO_TRAY: MinimizedFromOutside(); return 0;
    default: break;
  }
  return DefWindowProcW(FWindow, message, wParam, lParam);
}

void TMainWindow::Command(int id, int code) {
  if (const TCaptionButtonSpec* button = CaptionButtonOfId(id)) {
    RunCommand(button->Command);
    return;
  }
  if (CommandOfMenuId(static_cast<UINT>(id))) {
    RunMenuCommand(static_cast<UINT>(id));
    return;
  }
  const std::optional<TControl> control = ControlOfId(id);
  if (!control) return;
  switch (ControlSpec(*control).Kind) {
    case TControlKind::Button:
      if (code == BN_CLICKED) FForm->ButtonClicked(*control);
      return;
    case TControlKind::List:
      if (code == CBN_SELCHANGE) FForm->ItemSelected(*control);
      return;
    default:
      // A click on a check box or radio button, or one on a group box, which the logic ignores.
      if (code == BN_CLICKED) FForm->ControlChanged(*control);
      return;
  }
}

bool TMainWindow::SysCommand(WPARAM command, LPARAM key) {
  const auto id = static_cast<UINT>(command & 0xFFF0);
  if (CommandOfMenuId(id)) {
    RunMenuCommand(id);
    return true;
  }
  switch (id) {
    case SC_MINIMIZE: FForm->FrameCommand(TFrameCommand::Minimize); return true;
    case SC_KEYMENU:
      if (key != L' ') return false;  // Alt+Space opens the system menu
      [[fallthrough]];
    case SC_MOUSEMENU: {
      POINT below{FormSpec().Border, FormSpec().Border + FScale(FormSpec().CaptionBarHeight)};
      ClientToScreen(FWindow, &below);
      ShowSystemMenu(below);
      return true;
    }
    case SC_MAXIMIZE:
    case SC_SIZE: return true;  // fixed size
    default: return false;
  }
}

// Click, double click, Enter or Space restore; the context menu comes from the
// mouse or the keyboard, "&Restore" its default item.
void TMainWindow::TrayMessage(UINT event, WPARAM anchor) {
  if (event == NIN_SELECT || event == NIN_KEYSELECT || event == WM_LBUTTONDBLCLK) {
    RunCommand(TFrameCommand::Restore);
    return;
  }
  POINT at{GET_X_LPARAM(anchor), GET_Y_LPARAM(anchor)};
  if (event == WM_RBUTTONUP && !FTray->Version4())
    GetCursorPos(&at);
  else if (event != WM_CONTEXTMENU)
    return;
  // Without the foreground the menu would stay open after a click elsewhere.
  SetForegroundWindow(FWindow);
  HMENU menu = CreatePopupMenu();
  FillMenu(menu, TFrameLogic::TrayMenu());
  SetMenuDefaultItem(menu, MenuIdOf(TFrameCommand::Restore), FALSE);
  UINT id = 0;
  {
    const auto loop = NestedLoop();
    id = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, FWindow, nullptr));
  }
  DestroyMenu(menu);
  PostMessageW(FWindow, WM_NULL, 0, 0);
  if (id != 0)
    RunMenuCommand(id);
  else
    FTray->ReturnFocus();
}

void TMainWindow::TrayRetried(TTrayIcon::TRetry result) {
  if (result == TTrayIcon::TRetry::Again) return;
  KillTimer(FWindow, TrayRetryTimer);
  if (FForm == nullptr) return;
  if (result == TTrayIcon::TRetry::Added)
    FForm->TeForm1.TrayIconAdded();
  else
    FForm->TeForm1.TrayIconFailed();
}

// Minimized by the system (the taskbar, a window manager, a start "minimized").
void TMainWindow::MinimizedFromOutside() {
  if (IsIconic(FWindow)) FForm->MinimizedBySystem();
}

// By mouse or by keys: the keyboard never stays on a control of the page just
// hidden, where the next key would reach nothing visible. It goes to the page
// control, whose arrows turn the pages and whose Tab enters the page shown.
void TMainWindow::PageChanged() {
  ShowPage(FLayout, static_cast<int>(SendMessageW(FLayout.Tabs, TCM_GETCURSEL, 0, 0)));
  const HWND focus = GetFocus();
  if (focus != nullptr && IsChild(FClient, focus) && !IsWindowVisible(focus)) SetFocus(FLayout.Tabs);
  if (FFocus != nullptr && !IsWindowVisible(FFocus)) FFocus = FLayout.Tabs;
}

void TMainWindow::ShowSystemMenu(POINT screen) {
  RebuildSystemMenu();
  UINT id = 0;
  {
    const auto loop = NestedLoop();
    id = static_cast<UINT>(TrackPopupMenu(GetSystemMenu(FWindow, FALSE),
                                          TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, screen.x,
                                          screen.y, 0, FWindow, nullptr));
  }
  if (id != 0) RunMenuCommand(id);
}

std::unique_ptr<TForm1::TNestedLoop> TMainWindow::NestedLoop() {
  return FForm != nullptr ? std::make_unique<TForm1::TNestedLoop>(*FForm) : nullptr;
}

void TMainWindow::RunMenuCommand(UINT id) {
  if (const auto command = CommandOfMenuId(id)) RunCommand(*command);
}

void TMainWindow::RunCommand(TFrameCommand command) {
  if (FForm != nullptr) FForm->FrameCommand(command);
}

// The system menu (also the taskbar's and Alt+Space's) holds the logic's items for the current state.
void TMainWindow::RebuildSystemMenu() {
  HMENU menu = GetSystemMenu(FWindow, FALSE);
  if (menu == nullptr) return;
  if (FForm != nullptr)
    FillMenu(menu, FForm->TeForm1.SystemMenu());
  else
    FillMenu(menu, TFrameLogic(*this, ApplicationTitle).SystemMenu());
}

// The logic's colours keep their meaning, but the text stays readable in every
// theme: its black is the system's window text on the window's own background,
// and in high contrast the boxes take the system's colours alone (the text then
// carries the meaning).
LRESULT TMainWindow::ControlColor(HDC dc, HWND control, bool edit) {
  const int index = IndexOf(control);
  if (index < 0 || FColors[static_cast<std::size_t>(index)] < 0)
    return DefWindowProcW(FWindow, edit ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                          reinterpret_cast<LPARAM>(control));
  const int color = FColors[static_cast<std::size_t>(index)];
  SetTextColor(dc, color == 0 || HighContrast() ? GetSysColor(COLOR_WINDOWTEXT) : static_cast<COLORREF>(color));
  SetBkColor(dc, GetSysColor(COLOR_WINDOW));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
}

int TMainWindow::IndexOf(HWND control) const {
  const auto found = std::find(FLayout.Controls.begin(), FLayout.Controls.end(), control);
  return found == FLayout.Controls.end() ? -1 : static_cast<int>(found - FLayout.Controls.begin());
}

// Moved to a monitor of another DPI: the layout and fonts are built again from
// their 96-DPI places, and the window keeps its place (the suggested one, which
// keeps it on that monitor).
void TMainWindow::DpiChanged(int dpi, const RECT& suggested) {
  if (dpi <= 0 || dpi == FScale.Dpi) return;
  FScale.Dpi = dpi;
  HFONT oldFont = FFont;
  HICON oldIcon = FCaptionIcon;
  FFont = CreateDialogFont(FScale);
  FCaptionIcon = LoadIconOfSize(FInstance, FScale(16));
  FCaption->Rescale(FScale, FCaptionIcon, FFont);
  const RECT client = ClientBounds();
  SetWindowPos(FClient, nullptr, client.left, client.top, client.right - client.left, client.bottom - client.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  PlaceClientControls(FLayout, FFont, FScale);
  SetWindowPos(FWindow, nullptr, suggested.left, suggested.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ApplySize();
  RedrawWindow(FWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  DeleteObject(oldFont);
  if (oldIcon != nullptr) DestroyIcon(oldIcon);
}

// The border is a pixel wide at any DPI.
RECT TMainWindow::ClientBounds() const {
  constexpr TFormSpec form = FormSpec();
  const int top = form.Border + FScale(form.CaptionBarHeight);
  return {form.Border, top, form.Border + FScale(form.ClientWidth), top + FScale(form.ClientHeight)};
}

void TMainWindow::ApplySize() {
  constexpr TFormSpec form = FormSpec();
  const int height = FScale(form.CaptionBarHeight) + (FRolledUp ? 0 : FScale(form.ClientHeight));
  SetWindowPos(FWindow, nullptr, 0, 0, FScale(form.ClientWidth) + 2 * form.Border, height + 2 * form.Border,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TMainWindow::PaintBorder() {
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(FWindow, &paint);
  RECT bounds{};
  GetClientRect(FWindow, &bounds);
  FrameRect(dc, &bounds, GetSysColorBrush(COLOR_WINDOWFRAME));
  EndPaint(FWindow, &paint);
}

// IFormView.

std::string TMainWindow::Text(TControl control) const { return Platform::Utf8FromWide(WindowText(Control(control))); }

// The clocks change once a second and the tick comes twice: an unchanged text
// is not written again, which spares a repaint.
void TMainWindow::SetText(TControl control, const std::string& text) {
  const std::wstring value = Platform::WideFromUtf8(text);
  if (WindowText(Control(control)) != value) SetWindowTextW(Control(control), value.c_str());
}

void TMainWindow::SetFontColor(TControl control, int color) {
  int& stored = FColors[Index(control)];
  if (stored == color) return;
  stored = color;
  InvalidateRect(Control(control), nullptr, TRUE);
}

void TMainWindow::SetEnabled(TControl control, bool enabled) { EnableWindow(Control(control), enabled); }

bool TMainWindow::Checked(TControl control) const {
  return SendMessageW(Control(control), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TMainWindow::SetChecked(TControl control, bool checked) {
  SendMessageW(Control(control), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

int TMainWindow::ItemIndex(TControl control) const {
  return static_cast<int>(SendMessageW(Control(control), CB_GETCURSEL, 0, 0));
}

void TMainWindow::SetItemIndex(TControl control, int index) {
  SendMessageW(Control(control), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void TMainWindow::SetTimer(TTimerId timer, std::uint32_t intervalMs, bool enabled) {
  const UINT_PTR id = TimerIds[static_cast<std::size_t>(timer)];
  if (!enabled) {
    KillTimer(FWindow, id);
    return;
  }
  const auto interval = std::clamp<std::uint32_t>(intervalMs, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
  ::SetTimer(FWindow, id, interval, nullptr);  // an existing timer starts its period afresh
}

void TMainWindow::ShowErrorBox(const std::string& text) {
  MessageBoxW(FWindow, Platform::WideFromUtf8(text).c_str(), Platform::WideFromUtf8(ApplicationTitle).c_str(),
              MB_ICONERROR | MB_OK);
}

// Explorer's taskbar holds the notification area; Wine always has one (its own
// window when no system tray is running).
bool TMainWindow::TrayAvailable() { return FindWindowW(L"Shell_TrayWnd", nullptr) != nullptr; }

TBounds TMainWindow::WindowBounds() {
  RECT bounds{};
  GetWindowRect(FWindow, &bounds);
  return {bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top};
}

void TMainWindow::HideWindow() { ::ShowWindow(FWindow, SW_HIDE); }

void TMainWindow::ShowWindow(const TBounds* bounds) {
  if (IsIconic(FWindow)) ::ShowWindow(FWindow, SW_RESTORE);
  if (bounds != nullptr)
    SetWindowPos(FWindow, nullptr, bounds->Left, bounds->Top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ApplySize();  // the size follows the state: whole, or rolled up
  ::ShowWindow(FWindow, SW_SHOW);
  SetForegroundWindow(FWindow);
}

void TMainWindow::MinimizeOrdinary() { ::ShowWindow(FWindow, SW_MINIMIZE); }

void TMainWindow::Unminimize() { ::ShowWindow(FWindow, SW_RESTORE); }

void TMainWindow::SetRolledUp(bool rolledUp) {
  FRolledUp = rolledUp;
  if (rolledUp && IsChild(FClient, GetFocus())) SetFocus(FWindow);
  ::ShowWindow(FClient, rolledUp ? SW_HIDE : SW_SHOW);
  FCaption->SetRolledUp(rolledUp);
  ApplySize();
}

// A shell still starting at log-in refuses the icon: try again for a while.
bool TMainWindow::ShowTrayIcon(const std::string& hint) {
  if (FTray->Show(hint)) return true;
  ::SetTimer(FWindow, TrayRetryTimer, TTrayIcon::RetryMs, nullptr);
  return false;
}

void TMainWindow::RemoveTrayIcon() {
  KillTimer(FWindow, TrayRetryTimer);
  FTray->Hide();
}

// Posted: the logic that asks may still be running on this stack.
void TMainWindow::CloseWindow() { PostMessageW(FWindow, WM_CLOSE, 0, 0); }
