// SPDX-License-Identifier: MIT
#include "RunKestrine.h"

#include <commctrl.h>

#include "Core/IdSync.h"
#include "Form/StartOptions.h"
#include "MainWindow.h"
#include "Platform/InstanceClaim.h"
#include "RegionalSettingsWin.h"

int RunKestrine(HINSTANCE instance, int show) {
  // A later start brings the first one's window back and ends, settings untouched.
  Platform::TInstanceClaim claim({});
  if (!claim.First() && claim.CallFirst()) return 0;
  IdSync::SetMainThread();
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&classes);
  TMainWindow window(instance);
  if (!window.Create()) return 1;
  IdSync::SetWakeHook(TMainWindow::WakeHook(window.Handle()));
  window.CreateForm(StartOptions(UserFormatSettings(), UsEnglishFormatSettings()));
  // Started minimized, the window goes to the notification area like any minimize.
  ShowWindow(window.Handle(), show);
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsWindow(window.Handle()) && (window.PreTranslate(message) || IsDialogMessageW(window.Handle(), &message)))
      continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  IdSync::SetWakeHook({});
  return static_cast<int>(message.wParam);
}
