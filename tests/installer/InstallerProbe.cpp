// SPDX-License-Identifier: MIT
// A console program that the installer test runs under the same wineserver as
// the installed Kestrine, to see its window and read the registry's 64-bit view.
//   display            whether this process can make a window (Wine's desktop has a display driver)
//   window MS          waits up to MS ms for a visible top-level window of class TForm1;
//                      prints its caption, bounds and process id
//   text ID            prints the text of the window's control with that id (or name in the table)
//   click ID           clicks the window's control with that id (or name); prints its check state
//   checked ID         prints the check state of the window's control with that id or name (0, 1)
//   close MS           asks the window to close and waits up to MS ms until it is gone
//   exit PID MS        waits up to MS ms for the process PID to end
//   end PID            ends the process PID (the test's clean-up)
//   reg KEY [VALUE]    HKLM\KEY (or its VALUE) exists: exit 0 and print the data; 1 when missing;
//                      a KEY starting with HKCU\ is the current user's
//   service NAME       the service is installed: exit 0 and print its state, start type, account
//                      and command line from the service manager; 1 when it is not installed
//   stop NAME MS       stops the service and waits up to MS ms until it has stopped
//   start NAME MS ARG...  starts the service with start arguments and waits up to MS ms until it runs
//   press CAPTION BUTTON MS  waits up to MS ms for a visible window whose caption starts with CAPTION, with an enabled
//                      button BUTTON (the installer's wizard, a message box); prints the window's
//                      static texts and rich text boxes (the licence page), then clicks the button
//   version PATH       prints the file's version resource: "fixed FILE PRODUCT" from its fixed part, then
//                      "NAME=VALUE" for each string of the language and code page its Translation names
//   dacl PATH          prints the owner and access list of the file or folder in SDDL; 1 when it is missing
//   lock PATH          opens the file without sharing and holds it until ended; prints its process id
//   run MS COMMAND_LINE  runs the command line as it is, waits up to MS ms and prints "exit CODE"
//                      with its whole exit code (wine passes on only the low 8 bits, and quotes
//                      arguments with blanks, which NSIS's "_?=" must not have)
// Exit 2 on a failure of the probe itself.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "ControlIds.h"

namespace {

HWND FindForm() {
  const HWND form = FindWindowA(FormSpec().Name, nullptr);
  return form != nullptr && IsWindowVisible(form) ? form : nullptr;
}

// Polls: a window appears, or goes, whenever the other process gets to it.
template <typename Condition>
bool WaitFor(DWORD timeoutMs, Condition condition) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  while (!condition()) {
    if (GetTickCount64() >= end) return false;
    Sleep(10);
  }
  return true;
}

int Window(DWORD timeoutMs) {
  HWND form = nullptr;
  if (!WaitFor(timeoutMs, [&] { return (form = FindForm()) != nullptr; })) {
    std::fwprintf(stderr, L"no visible window of class %hs after %lu ms\n", FormSpec().Name, timeoutMs);
    return 1;
  }
  wchar_t caption[256] = {};
  GetWindowTextW(form, caption, 256);
  RECT bounds{};
  GetWindowRect(form, &bounds);
  DWORD process = 0;
  GetWindowThreadProcessId(form, &process);
  std::wprintf(L"window \"%ls\" at %ld,%ld size %ldx%ld pid %lu\n", caption, bounds.left, bounds.top,
               bounds.right - bounds.left, bounds.bottom - bounds.top, process);
  return 0;
}

int Display() {
  const HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  if (window == nullptr) return 1;
  DestroyWindow(window);
  return 0;
}

int Exit(DWORD pid, DWORD timeoutMs) {
  const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) return GetLastError() == ERROR_INVALID_PARAMETER ? 0 : 2;  // already gone
  const DWORD waited = WaitForSingleObject(process, timeoutMs);
  CloseHandle(process);
  if (waited == WAIT_OBJECT_0) return 0;
  std::fwprintf(stderr, L"process %lu still runs after %lu ms\n", pid, timeoutMs);
  return 1;
}

int End(DWORD pid) {
  const HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, pid);
  if (process == nullptr) return 1;
  const bool ended = TerminateProcess(process, 1) != 0;
  CloseHandle(process);
  return ended ? 0 : 2;
}

struct TChildSearch {
  int Id;
  HWND Found;
};

// EnumChildWindows reaches into the pages' child windows too.
HWND FindControl(HWND form, int id) {
  TChildSearch search{id, nullptr};
  EnumChildWindows(
      form,
      [](HWND child, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<TChildSearch*>(data);
        if (GetDlgCtrlID(child) != s->Id) return TRUE;
        s->Found = child;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

// Cross-process GetWindowText returns nothing for edit boxes: ask the control.
int Text(int id) {
  const HWND form = FindForm();
  const HWND control = form == nullptr ? nullptr : FindControl(form, id);
  if (control == nullptr) {
    std::fwprintf(stderr, L"no control %d in the window\n", id);
    return 2;
  }
  wchar_t text[512] = {};
  SendMessageW(control, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
  std::wprintf(L"%ls\n", text);
  return 0;
}

// A control's name in the table (ASCII), or its id.
int ControlArgument(const std::wstring& word) {
  const int id = IdNamed(std::string(word.begin(), word.end()));
  return id != 0 ? id : static_cast<int>(std::wcstol(word.c_str(), nullptr, 10));
}

// Clicks the control first when asked; prints its check state.
int CheckState(int id, bool click) {
  const HWND form = FindForm();
  const HWND control = form == nullptr ? nullptr : FindControl(form, id);
  if (control == nullptr) {
    std::fwprintf(stderr, L"no control %d in the window\n", id);
    return 2;
  }
  if (click) SendMessageW(control, BM_CLICK, 0, 0);
  const long state = static_cast<long>(SendMessageW(control, BM_GETCHECK, 0, 0));
  if (click)
    std::wprintf(L"check state %ld\n", state);
  else
    std::wprintf(L"%ld\n", state);
  return 0;
}

int Close(DWORD timeoutMs) {
  const HWND form = FindForm();
  if (form == nullptr) {
    std::fwprintf(stderr, L"no window to close\n");
    return 2;
  }
  PostMessageW(form, WM_CLOSE, 0, 0);
  if (!WaitFor(timeoutMs, [&] { return !IsWindow(form); })) {
    std::fwprintf(stderr, L"the window is still there after %lu ms\n", timeoutMs);
    return 1;
  }
  return 0;
}

int Reg(const wchar_t* key, const wchar_t* value) {
  HKEY root = HKEY_LOCAL_MACHINE;
  if (_wcsnicmp(key, L"HKCU\\", 5) == 0) {
    root = HKEY_CURRENT_USER;
    key += 5;
  }
  HKEY handle = nullptr;
  LONG status = RegOpenKeyExW(root, key, 0, KEY_READ | KEY_WOW64_64KEY, &handle);
  if (status == ERROR_FILE_NOT_FOUND) return 1;
  if (status != ERROR_SUCCESS) {
    std::fwprintf(stderr, L"RegOpenKeyExW: %ld\n", status);
    return 2;
  }
  int result = 0;
  if (value != nullptr) {
    DWORD type = 0;
    BYTE data[4096] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    status = RegQueryValueExW(handle, value, nullptr, &type, data, &size);
    if (status == ERROR_FILE_NOT_FOUND) {
      result = 1;
    } else if (status != ERROR_SUCCESS) {
      std::fwprintf(stderr, L"RegQueryValueExW: %ld\n", status);
      result = 2;
    } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
      std::wprintf(L"%ls\n", reinterpret_cast<const wchar_t*>(data));
    } else if (type == REG_DWORD) {
      DWORD number = 0;
      std::memcpy(&number, data, sizeof number);
      std::wprintf(L"%lu\n", number);
    } else {
      std::wprintf(L"(type %lu)\n", type);
    }
  }
  RegCloseKey(handle);
  return result;
}

const wchar_t* StateName(DWORD state) {
  switch (state) {
    case SERVICE_STOPPED: return L"STOPPED";
    case SERVICE_START_PENDING: return L"START_PENDING";
    case SERVICE_STOP_PENDING: return L"STOP_PENDING";
    case SERVICE_RUNNING: return L"RUNNING";
    default: return L"OTHER";
  }
}

const wchar_t* StartName(DWORD start) {
  switch (start) {
    case SERVICE_AUTO_START: return L"AUTO";
    case SERVICE_DEMAND_START: return L"DEMAND";
    case SERVICE_DISABLED: return L"DISABLED";
    default: return L"OTHER";
  }
}

// A service's handle with its manager's, closed together.
class TService {
public:
  explicit TService(const wchar_t* name) {
    FManager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (FManager != nullptr)
      FHandle =
          OpenServiceW(FManager, name, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP);
    FError = FHandle == nullptr ? GetLastError() : 0;
  }
  ~TService() {
    if (FHandle != nullptr) CloseServiceHandle(FHandle);
    if (FManager != nullptr) CloseServiceHandle(FManager);
  }
  SC_HANDLE Handle() const { return FHandle; }
  DWORD Error() const { return FError; }
  DWORD State() const {
    SERVICE_STATUS status{};
    return QueryServiceStatus(FHandle, &status) ? status.dwCurrentState : 0;
  }
  bool WaitFor(DWORD state, ULONGLONG end) const {
    const ULONGLONG now = GetTickCount64();
    return ::WaitFor(static_cast<DWORD>(end > now ? end - now : 0), [&] { return State() == state; });
  }

private:
  SC_HANDLE FManager = nullptr;
  SC_HANDLE FHandle = nullptr;
  DWORD FError = 0;
};

int OpenFailure(const TService& service) {
  if (service.Error() == ERROR_SERVICE_DOES_NOT_EXIST) return 1;
  std::fwprintf(stderr, L"OpenService: %lu\n", service.Error());
  return 2;
}

int Service(const wchar_t* name) {
  const TService service(name);
  if (service.Handle() == nullptr) return OpenFailure(service);
  BYTE buffer[8192] = {};
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer);
  DWORD needed = 0;
  if (!QueryServiceConfigW(service.Handle(), config, sizeof buffer, &needed)) {
    std::fwprintf(stderr, L"QueryServiceConfigW: %lu\n", GetLastError());
    return 2;
  }
  std::wprintf(L"state %ls\nstart %ls\naccount %ls\npath %ls\n", StateName(service.State()),
               StartName(config->dwStartType), config->lpServiceStartName, config->lpBinaryPathName);
  return 0;
}

int Stop(const wchar_t* name, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  const TService service(name);
  if (service.Handle() == nullptr) return OpenFailure(service);
  SERVICE_STATUS status{};
  ControlService(service.Handle(), SERVICE_CONTROL_STOP, &status);
  if (service.WaitFor(SERVICE_STOPPED, end)) return 0;
  std::fwprintf(stderr, L"the service is %ls after %lu ms\n", StateName(service.State()), timeoutMs);
  return 1;
}

// Wine's service manager may be busy with its own services for tens of
// seconds in a new prefix: StartService is refused with 1053 or 1055 meanwhile.
int Start(const wchar_t* name, DWORD timeoutMs, int argc, const wchar_t** argv) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  const TService service(name);
  if (service.Handle() == nullptr) return OpenFailure(service);
  while (!StartServiceW(service.Handle(), static_cast<DWORD>(argc), argv)) {
    const DWORD error = GetLastError();
    if (error == ERROR_SERVICE_ALREADY_RUNNING) break;
    if ((error != ERROR_SERVICE_REQUEST_TIMEOUT && error != ERROR_SERVICE_DATABASE_LOCKED) || GetTickCount64() >= end) {
      std::fwprintf(stderr, L"StartServiceW: %lu\n", error);
      return 1;
    }
    Sleep(100);
  }
  if (service.WaitFor(SERVICE_RUNNING, end)) return 0;
  std::fwprintf(stderr, L"the service is %ls after %lu ms\n", StateName(service.State()), timeoutMs);
  return 1;
}

struct TButtonSearch {
  const wchar_t* Caption;
  const wchar_t* Text;
  HWND Window;
  HWND Button;
};

bool HasText(HWND window, const wchar_t* text, bool prefix = false) {
  wchar_t buffer[512] = {};
  SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 2000, nullptr);
  return prefix ? std::wcsncmp(buffer, text, std::wcslen(text)) == 0 : std::wcscmp(buffer, text) == 0;
}

bool HasClass(HWND window, const wchar_t* name, bool prefix = false) {
  wchar_t buffer[64] = {};
  GetClassNameW(window, buffer, 64);
  return prefix ? _wcsnicmp(buffer, name, std::wcslen(name)) == 0 : _wcsicmp(buffer, name) == 0;
}

BOOL CALLBACK FindButton(HWND child, LPARAM data) {
  auto* search = reinterpret_cast<TButtonSearch*>(data);
  if (!HasClass(child, L"Button") || !IsWindowVisible(child) || !IsWindowEnabled(child) ||
      !HasText(child, search->Text))
    return TRUE;
  search->Button = child;
  return FALSE;
}

BOOL CALLBACK FindWindowWithButton(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<TButtonSearch*>(data);
  if (!IsWindowVisible(window) || !HasText(window, search->Caption, true)) return TRUE;
  EnumChildWindows(window, FindButton, data);
  if (search->Button == nullptr) return TRUE;
  search->Window = window;
  return FALSE;
}

int Press(const wchar_t* caption, const wchar_t* text, DWORD timeoutMs) {
  TButtonSearch search{caption, text, nullptr, nullptr};
  if (!WaitFor(timeoutMs, [&] { return !EnumWindows(FindWindowWithButton, reinterpret_cast<LPARAM>(&search)); })) {
    std::fwprintf(stderr, L"no window \"%ls\" with a button \"%ls\" after %lu ms\n", caption, text, timeoutMs);
    return 1;
  }
  EnumChildWindows(
      search.Window,
      [](HWND child, LPARAM) -> BOOL {
        // The licence text runs to a few kilobytes.
        static wchar_t buffer[16384];
        buffer[0] = 0;
        if ((HasClass(child, L"Static") || HasClass(child, L"RichEdit", true)) && IsWindowVisible(child) &&
            SendMessageTimeoutW(child, WM_GETTEXT, 16384, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 2000,
                                nullptr) != 0 &&
            buffer[0] != 0)
          std::wprintf(L"%ls\n", buffer);
        return TRUE;
      },
      0);
  // Not SendMessage: the click may end the window's process before it answers.
  PostMessageW(search.Button, BM_CLICK, 0, 0);
  return 0;
}

// What Explorer's details show, read back the way it reads them.
int Version(const wchar_t* path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  if (size == 0) {
    std::fwprintf(stderr, L"GetFileVersionInfoSizeW %ls: %lu\n", path, GetLastError());
    return 1;
  }
  std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
  if (!GetFileVersionInfoW(path, 0, size, data.data())) {
    std::fwprintf(stderr, L"GetFileVersionInfoW %ls: %lu\n", path, GetLastError());
    return 2;
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || length < sizeof *fixed) {
    std::fwprintf(stderr, L"no fixed version information in %ls\n", path);
    return 1;
  }
  std::wprintf(L"fixed %lu.%lu.%lu.%lu %lu.%lu.%lu.%lu\n", HIWORD(fixed->dwFileVersionMS),
               LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS),
               HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS), HIWORD(fixed->dwProductVersionLS),
               LOWORD(fixed->dwProductVersionLS));
  WORD* translation = nullptr;
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) ||
      length < 2 * sizeof(WORD)) {
    std::fwprintf(stderr, L"no Translation in %ls\n", path);
    return 1;
  }
  for (const wchar_t* name : {L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName", L"LegalCopyright",
                              L"OriginalFilename", L"ProductName", L"ProductVersion"}) {
    wchar_t query[128] = {};
    std::swprintf(query, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1], name);
    wchar_t* value = nullptr;
    if (VerQueryValueW(data.data(), query, reinterpret_cast<void**>(&value), &length) && length > 0)
      std::wprintf(L"%ls=%ls\n", name, value);
  }
  return 0;
}

int Dacl(const wchar_t* path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  const DWORD status =
      GetNamedSecurityInfoW(path, SE_FILE_OBJECT, what, nullptr, nullptr, nullptr, nullptr, &descriptor);
  if (status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND) return 1;
  wchar_t* text = nullptr;
  if (status != ERROR_SUCCESS ||
      !ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, what, &text, nullptr)) {
    std::fwprintf(stderr, L"GetNamedSecurityInfoW %ls: %lu\n", path, status != ERROR_SUCCESS ? status : GetLastError());
    LocalFree(descriptor);
    return 2;
  }
  std::wprintf(L"%ls\n", text);
  LocalFree(text);
  LocalFree(descriptor);
  return 0;
}

// Stands for a copy that keeps a file open: another user's, or one that does not close.
int Lock(const wchar_t* path) {
  const HANDLE file = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fwprintf(stderr, L"CreateFileW %ls: %lu\n", path, GetLastError());
    return 2;
  }
  std::wprintf(L"locked pid %lu\n", GetCurrentProcessId());
  std::fflush(stdout);
  Sleep(INFINITE);
  return 0;
}

int Run(DWORD timeoutMs, const wchar_t* commandLine) {
  std::wstring line = commandLine;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    std::fwprintf(stderr, L"CreateProcessW: %lu\n", GetLastError());
    return 2;
  }
  CloseHandle(process.hThread);
  const bool ended = WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0;
  DWORD code = 0;
  if (ended)
    GetExitCodeProcess(process.hProcess, &code);
  else
    TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hProcess);
  if (!ended) {
    std::fwprintf(stderr, L"still running after %lu ms: %ls\n", timeoutMs, commandLine);
    return 1;
  }
  std::wprintf(L"exit %lu\n", code);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"display" && argc == 2) return Display();
  if (command == L"window" && argc == 3) return Window(std::wcstoul(argv[2], nullptr, 10));
  if (command == L"text" && argc == 3) return Text(ControlArgument(argv[2]));
  if (command == L"click" && argc == 3) return CheckState(ControlArgument(argv[2]), true);
  if (command == L"checked" && argc == 3) return CheckState(ControlArgument(argv[2]), false);
  if (command == L"close" && argc == 3) return Close(std::wcstoul(argv[2], nullptr, 10));
  if (command == L"exit" && argc == 4)
    return Exit(std::wcstoul(argv[2], nullptr, 10), std::wcstoul(argv[3], nullptr, 10));
  if (command == L"end" && argc == 3) return End(std::wcstoul(argv[2], nullptr, 10));
  if (command == L"reg" && (argc == 3 || argc == 4)) return Reg(argv[2], argc == 4 ? argv[3] : nullptr);
  if (command == L"service" && argc == 3) return Service(argv[2]);
  if (command == L"stop" && argc == 4) return Stop(argv[2], std::wcstoul(argv[3], nullptr, 10));
  if (command == L"start" && argc >= 4)
    return Start(argv[2], std::wcstoul(argv[3], nullptr, 10), argc - 4, const_cast<const wchar_t**>(argv + 4));
  if (command == L"press" && argc == 5) return Press(argv[2], argv[3], std::wcstoul(argv[4], nullptr, 10));
  if (command == L"dacl" && argc == 3) return Dacl(argv[2]);
  if (command == L"version" && argc == 3) return Version(argv[2]);
  if (command == L"lock" && argc == 3) return Lock(argv[2]);
  if (command == L"run" && argc == 4) return Run(std::wcstoul(argv[2], nullptr, 10), argv[3]);
  std::fwprintf(
      stderr,
      L"usage: installer_probe display | window MS | text ID | click ID | checked ID | close MS | exit PID MS | end PID"
      L" | reg KEY [VALUE] | service NAME | stop NAME MS | start NAME MS [ARG...] | press CAPTION BUTTON MS"
      L" | dacl PATH | version PATH | lock PATH"
      L" | run MS COMMAND_LINE\n");
  return 2;
}
