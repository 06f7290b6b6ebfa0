// A console program that the installer test runs under the same wineserver as
// the installed Kestrine, to see its window and read the registry's 64-bit view.
//   display            whether this process can make a window (Wine's desktop has a display driver)
//   window MS          waits up to MS ms for a visible top-level window of class TForm1;
//                      prints its caption, bounds and process id
//   text ID            prints the text of the window's control with that id
//   click ID           clicks the window's control with that id; prints its check state
//   close MS           asks the window to close and waits up to MS ms until it is gone
//   exit PID MS        waits up to MS ms for the process PID to end
//   end PID            ends the process PID (the test's clean-up)
//   reg KEY [VALUE]    HKLM\KEY (or its VALUE) exists: exit 0 and print the data; 1 when missing
// Exit 2 on a failure of the probe itself.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "ControlIds.h"

namespace {

HWND FindForm() {
  const HWND form = FindWindowW(KESTRINE_WINDOW_CLASS, nullptr);
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
    std::fwprintf(stderr, L"no visible window of class %ls after %lu ms\n", KESTRINE_WINDOW_CLASS, timeoutMs);
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

int Click(int id) {
  const HWND form = FindForm();
  const HWND control = form == nullptr ? nullptr : FindControl(form, id);
  if (control == nullptr) {
    std::fwprintf(stderr, L"no control %d in the window\n", id);
    return 2;
  }
  SendMessageW(control, BM_CLICK, 0, 0);
  std::wprintf(L"check state %ld\n", static_cast<long>(SendMessageW(control, BM_GETCHECK, 0, 0)));
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
  HKEY handle = nullptr;
  LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | KEY_WOW64_64KEY, &handle);
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

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"display" && argc == 2) return Display();
  if (command == L"window" && argc == 3) return Window(std::wcstoul(argv[2], nullptr, 10));
  if (command == L"text" && argc == 3) return Text(static_cast<int>(std::wcstol(argv[2], nullptr, 10)));
  if (command == L"click" && argc == 3) return Click(static_cast<int>(std::wcstol(argv[2], nullptr, 10)));
  if (command == L"close" && argc == 3) return Close(std::wcstoul(argv[2], nullptr, 10));
  if (command == L"exit" && argc == 4) return Exit(std::wcstoul(argv[2], nullptr, 10), std::wcstoul(argv[3], nullptr, 10));
  if (command == L"end" && argc == 3) return End(std::wcstoul(argv[2], nullptr, 10));
  if (command == L"reg" && (argc == 3 || argc == 4)) return Reg(argv[2], argc == 4 ? argv[3] : nullptr);
  std::fwprintf(stderr, L"usage: installer_probe display | window MS | text ID | click ID | close MS | exit PID MS | end PID | reg KEY [VALUE]\n");
  return 2;
}
