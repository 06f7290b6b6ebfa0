// SPDX-License-Identifier: MIT
// The reference for the Windows program's start-up: a plain Win32 window with
// the program's client controls (the same layout code, font and manifest) and
// nothing else: no settings, sockets, notification-area icon or logic.
#include <windows.h>
#include <commctrl.h>

#include "ControlLayout.h"
#include "Form/ControlTable.h"

namespace {

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&classes);
  const WNDCLASSEXW form{sizeof(WNDCLASSEXW),
                         0,
                         Proc,
                         0,
                         0,
                         instance,
                         nullptr,
                         LoadCursorW(nullptr, IDC_ARROW),
                         reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                         nullptr,
                         L"BareWindow",
                         nullptr};
  RegisterClassExW(&form);
  RegisterPanelClass(instance);
  constexpr TFormSpec spec = FormSpec();
  RECT frame{0, 0, spec.ClientWidth, spec.ClientHeight};
  AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_CONTROLPARENT);
  HWND window =
      CreateWindowExW(WS_EX_CONTROLPARENT, form.lpszClassName, L"bare", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 328, 176,
                      frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
  const TScale scale{};
  HFONT font = CreateFontW(-MulDiv(8, scale.Dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                           L"MS Shell Dlg");
  HWND client = CreatePanel(window, 0, {0, 0, spec.ClientWidth, spec.ClientHeight}, instance);
  CreateClientControls(client, instance, font, scale);
  ShowWindow(window, show);
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(window, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  DeleteObject(font);
  return 0;
}
