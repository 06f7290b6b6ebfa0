// SPDX-License-Identifier: MIT
// kestrine_driver: drives the Windows program from outside, under the same
// wineserver, for the journeys. Commands come from the arguments or, without
// any, one per line from stdin; each takes a fixed number of words (quote a
// word holding blanks). Expectations poll until their time-out (seconds);
// the first failure ends the run with exit status 1 and a message on stderr.
// An ID is a control's or a caption-bar button's name in the table
// (ckSyncTime, RollupButton) or a number.
//
//   wait-window T            the window exists and is visible
//   wait-gone T              no window any more
//   text ID                  prints the control's text (ID 0: the window's caption)
//   expect-text ID TEXT T    the text equals TEXT
//   expect-not-text ID TEXT T  the text differs from TEXT
//   expect-contains ID TEXT T
//   expect-checked ID 0|1 T, expect-enabled ID 0|1 T, expect-selection ID N T
//   expect-visible 0|1 T     the window's visibility
//   expect-height MIN MAX T  the window's outer height lies in [MIN, MAX]
//   rect ID                  prints left top width height in the window's client area
//   window-rect              prints the window's screen rectangle: left top width height
//   click ID, select ID N, page N, set-text ID TEXT
//   timechange               broadcasts WM_TIMECHANGE
//   syscommand ITEM          WM_SYSCOMMAND for a system menu item by its caption ("Ro&llup"), or a number (0x...)
//   minimize                 WM_SYSCOMMAND SC_MINIMIZE
//   menu                     prints the system menu's items, ';'-separated, '-' for a separator
//   expect-menu ITEMS T      the system menu's items equal ITEMS, written as menu prints them
//   close T                  WM_CLOSE, then waits until the program's process has ended
//   focus                    prints the number of the control with the keyboard focus (0: none of ours)
//   expect-focus ID T        the keyboard focus is on the control ID
//   answering                the window answers WM_NULL within 5 s
//   expect-iconic 0|1 T      the window is minimized the ordinary way
//   tray select|keyselect|contextmenu  the shell's message for that event on the icon
//   expect-popup 0|1 T       a menu is open; expect-box 0|1 T: the error box is open
//   dpichanged DPI           WM_DPICHANGED to DPI, suggesting the window's own place
//   palette WINDOW BUTTON WINDOWTEXT BUTTONTEXT  SetSysColors of these four (RRGGBB);
//                            prints the ones replaced, in the same form
#include <windows.h>
#include <commctrl.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ControlIds.h"
#include "MenuProbe.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr UINT kCallTimeoutMs = 5000;

struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

long Number(const std::string& word) {
  char* end = nullptr;
  const long value = std::strtol(word.c_str(), &end, 0);
  if (word.empty() || *end != '\0') throw Failure("not a number: '" + word + "'");
  return value;
}

double Seconds(const std::string& word) {
  char* end = nullptr;
  const double value = std::strtod(word.c_str(), &end);
  if (word.empty() || *end != '\0' || value < 0) throw Failure("not a time-out in seconds: '" + word + "'");
  return value;
}

// A control's number from its name, or a number as it is.
int Id(const std::string& word) {
  const int id = IdNamed(word);
  return id != 0 ? id : static_cast<int>(Number(word));
}

// A system menu item's command number from its caption in any of the frame's states, or a number as it is.
long MenuCommand(const std::string& word) {
  for (const TFrameState state : {TFrameState::Normal, TFrameState::RolledUp, TFrameState::InTray})
    for (const TMenuItem& item : TFrameLogic::SystemMenuIn(state))
      if (!item.Separator && item.Caption == word) return static_cast<long>(MenuIdOf(item.Command));
  return Number(word);
}

HWND FindMainWindow() { return FindWindowA(FormSpec().Name, nullptr); }

HWND MainWindow() {
  const HWND window = FindMainWindow();
  if (window == nullptr) throw Failure(std::string("no window of class ") + FormSpec().Name);
  return window;
}

HWND Control(int id) {
  const HWND window = MainWindow();
  if (id == 0) return window;
  struct Search {
    int Id;
    HWND Found;
  } search{id, nullptr};
  // EnumChildWindows walks every descendant, so controls inside the pages are found too.
  EnumChildWindows(
      window,
      [](HWND child, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        if (GetDlgCtrlID(child) != s->Id) return TRUE;
        s->Found = child;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  if (search.Found == nullptr) throw Failure("no control with id " + std::to_string(id));
  return search.Found;
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kCallTimeoutMs, &result) == 0)
    throw Failure("message " + std::to_string(message) + " was not answered (error " + std::to_string(GetLastError()) +
                  ")");
  return static_cast<LRESULT>(result);
}

// Cross-process GetWindowText is empty for edits and lists: ask the control itself.
std::string Text(int id) {
  const HWND control = Control(id);
  const auto length = Send(control, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const auto copied = Send(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(copied));
  return Utf8(text);
}

RECT WindowRect() {
  RECT rect{};
  if (!GetWindowRect(MainWindow(), &rect)) throw Failure("GetWindowRect failed");
  return rect;
}

std::string RectText(const RECT& r) {
  return std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + " " +
         std::to_string(r.bottom - r.top);
}

RECT ControlRect(int id) {
  RECT rect{};
  if (!GetWindowRect(Control(id), &rect)) throw Failure("GetWindowRect failed");
  MapWindowPoints(HWND_DESKTOP, MainWindow(), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// LoadLibraryW in the program: kernel32 need not lie at the same address there as here.
void* RemoteLoadLibrary(DWORD pid) {
  const HMODULE local = GetModuleHandleW(L"kernel32.dll");
  const auto offset =
      reinterpret_cast<const char*>(GetProcAddress(local, "LoadLibraryW")) - reinterpret_cast<const char*>(local);
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
  if (snapshot == INVALID_HANDLE_VALUE) return nullptr;
  MODULEENTRY32W module{};
  module.dwSize = sizeof module;
  void* found = nullptr;
  for (BOOL more = Module32FirstW(snapshot, &module); more && found == nullptr; more = Module32NextW(snapshot, &module))
    if (_wcsicmp(module.szModule, L"kernel32.dll") == 0) found = module.modBaseAddr + offset;
  CloseHandle(snapshot);
  return found;
}

// Menus live in their owner's process under Wine (GetSystemMenu from here
// fails), so menu_probe.dll, beside the driver, is loaded into the program
// and reads the menu there: its handle, '|', then the items.
std::string ProbeMenu() {
  DWORD pid = 0;
  GetWindowThreadProcessId(MainWindow(), &pid);
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring probe(path, length);
  probe = probe.substr(0, probe.find_last_of(L"\\/") + 1) + KESTRINE_MENU_PROBE_DLL;
  const size_t bytes = KESTRINE_MENU_PROBE_CHARS * sizeof(wchar_t);
  const HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, static_cast<DWORD>(bytes),
                                            KESTRINE_MENU_PROBE_MAPPING);
  const HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
  void* remote = process ? VirtualAllocEx(process, nullptr, (probe.size() + 1) * sizeof(wchar_t),
                                          MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)
                         : nullptr;
  std::string result = "(the menu probe could not be loaded)";
  auto* out = mapping ? static_cast<wchar_t*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0)) : nullptr;
  if (out != nullptr && remote != nullptr &&
      WriteProcessMemory(process, remote, probe.c_str(), (probe.size() + 1) * sizeof(wchar_t), nullptr)) {
    out[0] = 0;
    const auto load = reinterpret_cast<LPTHREAD_START_ROUTINE>(RemoteLoadLibrary(pid));
    if (const HANDLE thread = load ? CreateRemoteThread(process, nullptr, 0, load, remote, 0, nullptr) : nullptr) {
      if (WaitForSingleObject(thread, kCallTimeoutMs) == WAIT_OBJECT_0 && out[0] != 0) result = Utf8(out);
      CloseHandle(thread);
    }
  }
  if (out != nullptr) UnmapViewOfFile(out);
  if (remote != nullptr) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  if (process != nullptr) CloseHandle(process);
  if (mapping != nullptr) CloseHandle(mapping);
  return result;
}

// The window fills its system menu when told that it opens, as the system tells it.
std::string MenuText() {
  const std::string first = ProbeMenu();
  const size_t bar = first.find('|');
  if (bar == std::string::npos) return first;
  const auto menu = static_cast<UINT_PTR>(std::stoull(first.substr(0, bar), nullptr, 16));
  Send(MainWindow(), WM_INITMENUPOPUP, menu, MAKELPARAM(0, TRUE));
  const std::string items = ProbeMenu();
  return items.substr(items.find('|') + 1);
}

// Polls `current` until it equals `wanted` or the time-out passes.
void Expect(const std::string& what, const std::string& wanted, double timeout,
            const std::function<std::string()>& current) {
  const auto deadline = Clock::now() + std::chrono::duration<double>(timeout);
  std::string last;
  for (;;) {
    try {
      last = current();
    } catch (const Failure& error) {
      last = std::string("(") + error.what() + ")";
    }
    if (last == wanted) return;
    if (Clock::now() > deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  throw Failure(what + ": wanted \"" + wanted + "\", still \"" + last + "\" after " + std::to_string(timeout) + " s");
}

std::string Bool(bool value) { return value ? "1" : "0"; }

void Click(int id) { Send(Control(id), BM_CLICK, 0, 0); }

// CB_SETCURSEL notifies nobody, so the change a user's choice makes is sent as well.
void Select(int id, long index) {
  const HWND list = Control(id);
  if (Send(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0) == CB_ERR && index >= 0)
    throw Failure("no item " + std::to_string(index) + " in list " + std::to_string(id));
  Send(GetParent(list), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

int FocusedId() {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(MainWindow(), nullptr), &info) || info.hwndFocus == nullptr) return 0;
  return GetDlgCtrlID(info.hwndFocus);
}

bool VisibleWindow(const wchar_t* className, const wchar_t* title) {
  const HWND found = FindWindowW(className, title);
  return found != nullptr && IsWindowVisible(found);
}

void Tray(const std::string& event) {
  const std::map<std::string, UINT> events = {
      {"select", NIN_SELECT}, {"keyselect", NIN_KEYSELECT}, {"contextmenu", WM_CONTEXTMENU}};
  const auto found = events.find(event);
  if (found == events.end()) throw Failure("no tray event '" + event + "'");
  // The anchor: the top right corner of the screen, where the notification area lies.
  const WPARAM anchor = MAKEWPARAM(GetSystemMetrics(SM_CXSCREEN) - 40, 12);
  PostMessageW(MainWindow(), WM_KESTRINE_TRAY, anchor, MAKELPARAM(found->second, TrayIconId));
}

// The suggested rectangle must lie in the program's memory: Wine hands this
// message's pointer over as it is.
void DpiChanged(long dpi) {
  const RECT suggested = WindowRect();
  DWORD pid = 0;
  GetWindowThreadProcessId(MainWindow(), &pid);
  const HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
  void* remote =
      process ? VirtualAllocEx(process, nullptr, sizeof suggested, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE) : nullptr;
  const bool written = remote != nullptr && WriteProcessMemory(process, remote, &suggested, sizeof suggested, nullptr);
  if (written) Send(MainWindow(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(remote));
  if (remote != nullptr) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  if (process != nullptr) CloseHandle(process);
  if (!written) throw Failure("cannot hand the program a rectangle");
}

// Through the system's call, not the registry: Wine keeps the colours of the
// theme wineboot applied in a volatile key that wins over Control Panel\Colors
// for the wineserver's life. Wine programs started afterwards see the change.
void Palette(const std::vector<std::string>& colors) {
  const int elements[] = {COLOR_WINDOW, COLOR_BTNFACE, COLOR_WINDOWTEXT, COLOR_BTNTEXT};
  COLORREF values[std::size(elements)] = {};
  std::string replaced;
  for (size_t i = 0; i < std::size(elements); ++i) {
    char* end = nullptr;
    const unsigned long rgb = std::strtoul(colors[i].c_str(), &end, 16);
    if (colors[i].size() != 6 || *end != '\0') throw Failure("not a colour RRGGBB: '" + colors[i] + "'");
    values[i] = RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
    const COLORREF old = GetSysColor(elements[i]);
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X%02X", GetRValue(old), GetGValue(old), GetBValue(old));
    replaced += (i == 0 ? "" : " ") + std::string(text);
  }
  if (!SetSysColors(static_cast<int>(std::size(elements)), elements, values))
    throw Failure("SetSysColors failed (error " + std::to_string(GetLastError()) + ")");
  std::cout << replaced << "\n";
}

void Close(double timeout) {
  const HWND window = MainWindow();
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) throw Failure("cannot open the program's process");
  PostMessageW(window, WM_CLOSE, 0, 0);
  const DWORD waited = WaitForSingleObject(process, static_cast<DWORD>(timeout * 1000));
  CloseHandle(process);
  if (waited != WAIT_OBJECT_0) throw Failure("the program did not end within " + std::to_string(timeout) + " s");
}

struct Command {
  int Arity;
  std::function<void(const std::vector<std::string>&)> Run;
};

const std::map<std::string, Command>& Commands() {
  using Args = const std::vector<std::string>&;
  static const std::map<std::string, Command> commands = {
      {"wait-window",
       {1,
        [](Args a) {
          Expect("the window's visibility", "1", Seconds(a[0]), [] { return Bool(IsWindowVisible(MainWindow())); });
        }}},
      {"wait-gone",
       {1,
        [](Args a) {
          Expect("a window exists", "0", Seconds(a[0]), [] { return Bool(FindMainWindow() != nullptr); });
        }}},
      {"text", {1, [](Args a) { std::cout << Text(Id(a[0])) << "\n"; }}},
      {"expect-text",
       {3,
        [](Args a) {
          const int id = Id(a[0]);
          Expect("control " + a[0], a[1], Seconds(a[2]), [id] { return Text(id); });
        }}},
      {"expect-not-text",
       {3,
        [](Args a) {
          const int id = Id(a[0]);
          const std::string avoided = a[1];
          Expect("control " + a[0] + " differs from \"" + avoided + "\"", "yes", Seconds(a[2]),
                 [&] { return Text(id) != avoided ? std::string("yes") : avoided; });
        }}},
      {"expect-contains",
       {3,
        [](Args a) {
          const int id = Id(a[0]);
          const std::string part = a[1];
          std::string last;
          Expect("control " + a[0] + " contains \"" + part + "\"", "yes", Seconds(a[2]), [&] {
            last = Text(id);
            return last.find(part) != std::string::npos ? std::string("yes") : last;
          });
        }}},
      {"expect-checked",
       {3,
        [](Args a) {
          const int id = Id(a[0]);
          Expect("control " + a[0], a[1], Seconds(a[2]),
                 [id] { return Bool(Send(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED); });
        }}},
      {"expect-enabled",
       {3,
        [](Args a) {
          const int id = Id(a[0]);
          Expect("control " + a[0], a[1], Seconds(a[2]), [id] { return Bool(IsWindowEnabled(Control(id))); });
        }}},
      {"expect-selection",
       {3,
        [](Args a) {
          const int id = Id(a[0]);
          Expect("control " + a[0], a[1], Seconds(a[2]),
                 [id] { return std::to_string(Send(Control(id), CB_GETCURSEL, 0, 0)); });
        }}},
      {"expect-visible",
       {2,
        [](Args a) {
          Expect("the window's visibility", a[0], Seconds(a[1]), [] { return Bool(IsWindowVisible(MainWindow())); });
        }}},
      {"expect-height",
       {3,
        [](Args a) {
          const long low = Number(a[0]), high = Number(a[1]);
          std::string last;
          Expect("height within " + a[0] + ".." + a[1], "yes", Seconds(a[2]), [&] {
            const RECT r = WindowRect();
            const long height = r.bottom - r.top;
            return height >= low && height <= high ? std::string("yes") : std::to_string(height);
          });
        }}},
      {"rect", {1, [](Args a) { std::cout << RectText(ControlRect(Id(a[0]))) << "\n"; }}},
      {"window-rect", {0, [](Args) { std::cout << RectText(WindowRect()) << "\n"; }}},
      {"click", {1, [](Args a) { Click(Id(a[0])); }}},
      {"select", {2, [](Args a) { Select(Id(a[0]), Number(a[1])); }}},
      {"page",
       {1,
        [](Args a) {
          Send(Control(ControlId(TControl::TePageControl1)), TCM_SETCURFOCUS, static_cast<WPARAM>(Number(a[0])), 0);
        }}},
      {"set-text",
       {2,
        [](Args a) {
          const std::wstring text = Wide(a[1]);
          if (!Send(Control(Id(a[0])), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())))
            throw Failure("set-text " + a[0] + " was refused");
        }}},
      {"timechange",
       {0,
        [](Args) {
          DWORD_PTR result = 0;
          SendMessageTimeoutW(HWND_BROADCAST, WM_TIMECHANGE, 0, 0, SMTO_ABORTIFHUNG, kCallTimeoutMs, &result);
        }}},
      {"syscommand", {1, [](Args a) { Send(MainWindow(), WM_SYSCOMMAND, static_cast<WPARAM>(MenuCommand(a[0])), 0); }}},
      {"minimize", {0, [](Args) { Send(MainWindow(), WM_SYSCOMMAND, SC_MINIMIZE, 0); }}},
      {"menu", {0, [](Args) { std::cout << MenuText() << "\n"; }}},
      {"expect-menu", {2, [](Args a) { Expect("the system menu", a[0], Seconds(a[1]), MenuText); }}},
      {"close", {1, [](Args a) { Close(Seconds(a[0])); }}},
      {"focus", {0, [](Args) { std::cout << FocusedId() << "\n"; }}},
      {"expect-focus",
       {2,
        [](Args a) {
          Expect("the keyboard focus", std::to_string(Id(a[0])), Seconds(a[1]),
                 [] { return std::to_string(FocusedId()); });
        }}},
      {"answering", {0, [](Args) { Send(MainWindow(), WM_NULL, 0, 0); }}},
      {"expect-iconic",
       {2, [](Args a) { Expect("minimized", a[0], Seconds(a[1]), [] { return Bool(IsIconic(MainWindow())); }); }}},
      {"tray", {1, [](Args a) { Tray(a[0]); }}},
      {"expect-popup",
       {2,
        [](Args a) {
          Expect("an open menu", a[0], Seconds(a[1]), [] { return Bool(VisibleWindow(L"#32768", nullptr)); });
        }}},
      {"expect-box",
       {2,
        [](Args a) {
          Expect("the error box", a[0], Seconds(a[1]), [] { return Bool(VisibleWindow(L"#32770", L"Kestrine")); });
        }}},
      {"dpichanged", {1, [](Args a) { DpiChanged(Number(a[0])); }}},
      {"palette", {4, [](Args a) { Palette(a); }}},
  };
  return commands;
}

// Splits a line into words; "..." keeps blanks, \" and \\ inside quotes stand for " and \.
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
      ++i;
      continue;
    }
    if (line[i] == '#') break;
    std::string word;
    if (line[i] == '"') {
      for (++i; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) ++i;
        word += line[i];
      }
      if (i >= line.size()) throw Failure("unterminated quote in: " + line);
      ++i;
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') word += line[i++];
    }
    words.push_back(word);
  }
  return words;
}

void Run(const std::vector<std::string>& words) {
  size_t i = 0;
  while (i < words.size()) {
    const auto found = Commands().find(words[i]);
    if (found == Commands().end()) throw Failure("unknown command '" + words[i] + "'");
    const auto& command = found->second;
    if (i + 1 + static_cast<size_t>(command.Arity) > words.size())
      throw Failure(words[i] + " needs " + std::to_string(command.Arity) + " argument(s)");
    const std::vector<std::string> args(words.begin() + static_cast<long>(i) + 1,
                                        words.begin() + static_cast<long>(i) + 1 + command.Arity);
    try {
      command.Run(args);
    } catch (const Failure& error) {
      throw Failure(words[i] + ": " + error.what());
    }
    std::cout.flush();
    i += 1 + static_cast<size_t>(command.Arity);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Plain "\n" line ends, as the shell scripts that read the output expect.
  _setmode(_fileno(stdout), _O_BINARY);
  try {
    if (argc > 1) {
      std::vector<std::string> words;
      for (int i = 1; i < argc; ++i) words.push_back(Utf8(argv[i]));
      Run(words);
    } else {
      std::string line;
      while (std::getline(std::cin, line)) Run(Words(line));
    }
  } catch (const std::exception& error) {
    std::cout.flush();
    std::cerr << "kestrine_driver: FAIL: " << error.what() << std::endl;
    return 1;
  }
  return 0;
}
