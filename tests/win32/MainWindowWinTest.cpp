// The Win32 view's controls as it builds them from the table, before the logic
// touches them: id, class, caption, place at 96 DPI and initial state.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "Form/ControlTable.h"
#include "MainWindow.h"
#include "Platform/Windows/Utf8.h"

namespace {

// Every descendant window by its id: controls inside the pages too.
std::map<int, HWND> ControlsById(HWND window) {
  std::map<int, HWND> controls;
  EnumChildWindows(
      window,
      [](HWND child, LPARAM data) -> BOOL {
        reinterpret_cast<std::map<int, HWND>*>(data)->emplace(GetDlgCtrlID(child), child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&controls));
  return controls;
}

std::string ClassName(HWND control) {
  wchar_t name[64] = {};
  GetClassNameW(control, name, static_cast<int>(std::size(name)));
  return Platform::Utf8FromWide(name);
}

std::string Caption(HWND control) {
  wchar_t text[128] = {};
  GetWindowTextW(control, text, static_cast<int>(std::size(text)));
  return Platform::Utf8FromWide(text);
}

const char* ClassOf(TControlKind kind) {
  switch (kind) {
    case TControlKind::Label: return "Static";
    case TControlKind::ClockBox:
    case TControlKind::Edit: return "Edit";
    case TControlKind::PageControl: return "SysTabControl32";
    case TControlKind::Page: return "KestrinePanel";
    case TControlKind::List: return "ComboBox";
    default: return "Button";
  }
}

TEST(MainWindowWinTest, EveryControlIsTheTables) {
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&classes);
  TMainWindow window(GetModuleHandleW(nullptr));
  ASSERT_TRUE(window.Create());
  const std::map<int, HWND> controls = ControlsById(window.Handle());
  const auto byId = [&](TControl id) {
    const auto found = controls.find(FirstControlId + static_cast<int>(id));
    return found == controls.end() ? nullptr : found->second;
  };
  const HWND tabs = byId(TControl::TePageControl1);
  ASSERT_NE(tabs, nullptr);
  int page = 0;
  for (const TControlSpec& spec : ControlTable()) {
    SCOPED_TRACE(spec.Name);
    const HWND control = byId(spec.Id);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(ClassName(control), ClassOf(spec.Kind));
    if (spec.Kind == TControlKind::Page) {
      wchar_t text[64] = {};
      TCITEMW item{};
      item.mask = TCIF_TEXT;
      item.pszText = text;
      item.cchTextMax = static_cast<int>(std::size(text));
      SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(page++), reinterpret_cast<LPARAM>(&item));
      EXPECT_EQ(Platform::Utf8FromWide(text), spec.Caption);
      continue;
    }
    if (spec.Kind != TControlKind::List) {
      EXPECT_EQ(Caption(control), spec.Caption);
    }
    // A group box's controls are the page's, placed by the box's offset.
    int left = spec.Left, top = spec.Top;
    if (spec.Parent && ControlSpec(*spec.Parent).Kind == TControlKind::GroupBox) {
      left += ControlSpec(*spec.Parent).Left;
      top += ControlSpec(*spec.Parent).Top;
    }
    RECT place{};
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&place), 2);
    EXPECT_EQ(place.left, left);
    EXPECT_EQ(place.top, top);
    const int width = place.right - place.left;
    if (spec.Kind == TControlKind::Label || spec.Kind == TControlKind::CheckBox ||
        spec.Kind == TControlKind::RadioButton) {
      EXPECT_GE(width, spec.Width);  // at least as wide as the caption needs
    } else {
      EXPECT_EQ(width, spec.Width);
    }
    if (spec.Kind == TControlKind::CheckBox || spec.Kind == TControlKind::RadioButton) {
      EXPECT_EQ(SendMessageW(control, BM_GETCHECK, 0, 0), spec.Checked ? BST_CHECKED : BST_UNCHECKED);
    }
    if (spec.Kind == TControlKind::List) {
      ASSERT_EQ(SendMessageW(control, CB_GETCOUNT, 0, 0), static_cast<LRESULT>(spec.Items.size()));
      for (std::size_t i = 0; i < spec.Items.size(); ++i) {
        wchar_t item[32] = {};
        SendMessageW(control, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
        EXPECT_EQ(Platform::Utf8FromWide(item), spec.Items[i]);
      }
      EXPECT_EQ(SendMessageW(control, CB_GETCURSEL, 0, 0), 0);
    }
  }
  EXPECT_EQ(page, 3);
}

}  // namespace
