// SPDX-License-Identifier: MIT
// Loaded into the Windows program by kestrine_driver (a remote LoadLibraryW):
// under Wine a menu can be read only inside the process that owns it. It
// writes the window's system menu, as the driver's `menu` prints it, into the
// driver's shared memory, after the menu's handle in hexadecimal and a '|'
// (the window fills its system menu when told that it opens), and then refuses to load, so that it is unloaded at
// once and can be loaded again for the next reading.
#include <windows.h>

#include <cwchar>

#include "Form/ControlTable.h"
#include "MenuProbe.h"

namespace {

void Append(wchar_t* out, size_t capacity, const wchar_t* text) {
  const size_t used = wcslen(out);
  if (used + 1 < capacity) wcsncat(out, text, capacity - used - 1);
}

void DescribeSystemMenu(wchar_t* out, size_t capacity) {
  const HWND window = FindWindowA(FormSpec().Name, nullptr);
  const HMENU menu = window != nullptr ? GetSystemMenu(window, FALSE) : nullptr;
  if (menu == nullptr) {
    Append(out, capacity, L"(no system menu)");
    return;
  }
  wchar_t handle[32] = {};
  swprintf(handle, 32, L"%llx|", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(menu)));
  Append(out, capacity, handle);
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    if (i > 0) Append(out, capacity, L";");
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE;
    GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
    if (info.fType & MFT_SEPARATOR) {
      Append(out, capacity, L"-");
      continue;
    }
    wchar_t caption[256] = {};
    GetMenuStringW(menu, static_cast<UINT>(i), caption, 256, MF_BYPOSITION);
    for (wchar_t* c = caption; *c != 0; ++c) {
      const wchar_t one[2] = {*c, 0};
      Append(out, capacity, *c == L'\t' ? L"\\t" : one);
    }
  }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  const HANDLE mapping = OpenFileMappingW(FILE_MAP_WRITE, FALSE, KESTRINE_MENU_PROBE_MAPPING);
  if (mapping == nullptr) return FALSE;
  if (auto* out = static_cast<wchar_t*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0))) {
    out[0] = 0;
    DescribeSystemMenu(out, KESTRINE_MENU_PROBE_CHARS);
    UnmapViewOfFile(out);
  }
  CloseHandle(mapping);
  return FALSE;
}
