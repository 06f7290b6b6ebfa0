// SPDX-License-Identifier: MIT
// The Win32 view as it builds itself from the table, before the logic touches
// it: the frame, the caption bar's buttons and the icon's clicks, and each
// control's id, class, caption, place at 96 DPI, initial state and name for
// screen readers.
#include <windows.h>
#include <commctrl.h>

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CaptionBar.h"
#include "ControlIds.h"
#include "Form/ControlTable.h"
#include "MainWindow.h"
#include "Platform/Windows/Utf8.h"

namespace {

// One window for the suite: its class is registered once in a process.
class MainWindowWinTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&classes);
    Window = new TMainWindow(GetModuleHandleW(nullptr));
    if (!Window->Create()) TearDownTestSuite();
  }
  static void TearDownTestSuite() {
    delete Window;
    Window = nullptr;
  }
  void SetUp() override { ASSERT_NE(Window, nullptr) << "the window was not made"; }

  static inline TMainWindow* Window = nullptr;
};

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

RECT PlaceIn(HWND control, HWND parent) {
  RECT place{};
  GetWindowRect(control, &place);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&place), 2);
  return place;
}

// The window's class, caption and place, the client area below the caption bar, the border round both.
TEST_F(MainWindowWinTest, TheFrameIsTheTables) {
  constexpr TFormSpec form = FormSpec();
  EXPECT_EQ(ClassName(Window->Handle()), form.Name);
  EXPECT_EQ(Caption(Window->Handle()), form.Caption);
  RECT bounds{};
  GetWindowRect(Window->Handle(), &bounds);
  EXPECT_EQ(bounds.left, form.Left);
  EXPECT_EQ(bounds.top, form.Top);
  EXPECT_EQ(bounds.right - bounds.left, form.ClientWidth + 2 * form.Border);
  EXPECT_EQ(bounds.bottom - bounds.top, form.CaptionBarHeight + form.ClientHeight + 2 * form.Border);
  const HWND client = GetParent(ControlsById(Window->Handle()).at(ControlId(TControl::TePageControl1)));
  const RECT place = PlaceIn(client, Window->Handle());
  EXPECT_EQ(place.left, form.Border);
  EXPECT_EQ(place.top, form.Border + form.CaptionBarHeight);
  EXPECT_EQ(place.right - place.left, form.ClientWidth);
  EXPECT_EQ(place.bottom - place.top, form.ClientHeight);
}

// The caption bar alone: its buttons in the table's order, each named and with
// its command; the icon's press opens the menu, a second one at once closes the
// window, as a double click does.
TEST_F(MainWindowWinTest, TheCaptionBarHasTheTablesButtonsAndTheIconsClicks) {
  const HWND root = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(root, nullptr);
  TCaptionBar::RegisterWindowClass(GetModuleHandleW(nullptr));
  TCaptionBar bar(root, GetModuleHandleW(nullptr), TScale{}, nullptr, nullptr);
  std::vector<TFrameCommand> commands;
  int menus = 0;
  bar.OnCommand = [&](TFrameCommand command) { commands.push_back(command); };
  bar.OnSystemMenu = [&](POINT) { ++menus; };
  int left = 0;
  for (const TCaptionButtonSpec& spec : CaptionButtons()) {
    SCOPED_TRACE(spec.Name);
    const HWND button = GetDlgItem(bar.Handle(), CaptionButtonId(spec));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(Caption(button), spec.Title);
    const RECT place = PlaceIn(button, bar.Handle());
    EXPECT_GT(place.left, left) << "left to right in the table's order";
    EXPECT_LE(place.right, FormSpec().ClientWidth);
    left = place.left;
    SendMessageW(button, BM_CLICK, 0, 0);
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), spec.Command);
  }
  commands.clear();
  const LPARAM onIcon = MAKELPARAM(4, 4);
  SendMessageW(bar.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, onIcon);
  EXPECT_EQ(menus, 1);
  EXPECT_TRUE(commands.empty());
  SendMessageW(bar.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, onIcon);
  EXPECT_EQ(menus, 1);
  EXPECT_EQ(commands, std::vector<TFrameCommand>{TFrameCommand::Close});
  SendMessageW(bar.Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, onIcon);
  EXPECT_EQ(commands, (std::vector<TFrameCommand>{TFrameCommand::Close, TFrameCommand::Close}));
  DestroyWindow(root);
}

// Screen readers name a box by the label just before it in the z-order (the
// name set on the box itself, for a box named by more, Wine does not take).
TEST_F(MainWindowWinTest, EveryBoxLiesJustAfterItsLabel) {
  const std::map<int, HWND> controls = ControlsById(Window->Handle());
  for (const TBoxLabel& pair : BoxLabels()) {
    SCOPED_TRACE(ControlSpec(pair.Box).Name);
    const HWND box = controls.at(ControlId(pair.Box));
    EXPECT_EQ(GetWindow(box, GW_HWNDPREV), controls.at(ControlId(pair.Label)));
    if (pair.Unit) {
      EXPECT_EQ(GetWindow(box, GW_HWNDNEXT), controls.at(ControlId(*pair.Unit)));
    }
  }
}

TEST_F(MainWindowWinTest, EveryControlIsTheTables) {
  const std::map<int, HWND> controls = ControlsById(Window->Handle());
  const auto byId = [&](TControl id) {
    const auto found = controls.find(ControlId(id));
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
    const RECT place = PlaceIn(control, GetParent(control));
    EXPECT_EQ(place.left, left);
    EXPECT_EQ(place.top, top);
    const int width = place.right - place.left;
    if (WidensToCaption(spec.Kind)) {
      EXPECT_GE(width, spec.Width);
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
