// SPDX-License-Identifier: MIT
// KestrineClockService.exe: the Windows service that sets the clock for
// Kestrine, which runs with the user's rights. It runs as LOCAL SERVICE with
// only the right to set the system time, and does nothing but answer requests
// on its named pipe (PipeServer.h). Started by the service control manager;
// started otherwise it says what it is and ends.
#include <windows.h>

#include <cstdio>
#include <string>

#include "EventLog.h"
#include "PipeServer.h"
#include "Platform/Windows/ClockService.h"
#include "Platform/Windows/SystemMessage.h"
#include "Platform/Windows/Utf8.h"

namespace {

SERVICE_STATUS_HANDLE GStatusHandle = nullptr;
HANDLE GStop = nullptr;

void Report(DWORD state, DWORD exitCode = NO_ERROR) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  status.dwWin32ExitCode = exitCode;
  status.dwWaitHint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : 3000;
  SetServiceStatus(GStatusHandle, &status);
}

DWORD WINAPI Control(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
    Report(SERVICE_STOP_PENDING);
    SetEvent(GStop);
  }
  return NO_ERROR;
}

void WINAPI ServiceMain(DWORD argc, wchar_t** argv) {
  GStatusHandle = RegisterServiceCtrlHandlerExW(Platform::ClockService::ServiceName, Control, nullptr);
  if (GStatusHandle == nullptr) return;
  Report(SERVICE_START_PENDING);
  GStop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  TServiceSetup setup = MakeServiceSetup(argc, argv);
  TPipeServer server(setup, GStop);
  // Running only once clients can connect.
  DWORD error = 0;
  if (server.Start(error)) {
    Report(SERVICE_RUNNING);
    server.Wait();
  } else {
    setup.Log(TEventKind::Error, L"The clock service could not open its pipe: " +
                                     Platform::WideFromUtf8(Platform::SystemMessageText(error)) + L" (" +
                                     std::to_wstring(error) + L").");
  }
  // Everything is closed before STOPPED: the process may end right after it.
  CloseHandle(GStop);
  Report(SERVICE_STOPPED, error);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && std::wstring(argv[1]) == L"--version") {
    std::printf("KestrineClockService %s\n", KESTRINE_VERSION);
    return 0;
  }
  SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(Platform::ClockService::ServiceName), ServiceMain},
                                  {nullptr, nullptr}};
  if (StartServiceCtrlDispatcherW(table)) return 0;
  std::fprintf(stderr, "KestrineClockService is the Kestrine clock service: the installer sets it up.\n");
  return 1;
}
