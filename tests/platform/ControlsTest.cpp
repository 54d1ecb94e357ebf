// The standard and common controls: edit, push button, scroll bar,
// trackbar, up-down.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "PlatformTestSupport.h"

using namespace platform_test;
using ::testing::ElementsAre;
using win::Delivery;

namespace {

class ControlsTest : public PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    parent = CreateTopLevel("parent");
  }

  HWND Create(const char* cls, int id, DWORD style, int width = 200, int height = 24) {
    return CreateWindowExA(0, cls, "", WS_CHILD | WS_VISIBLE | style, 10, 10, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), nullptr, nullptr);
  }

  // Runs everything queued, as a message loop would.
  static void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }

  // WM_COMMAND notification codes the parent got from `control`.
  std::vector<WORD> Notifications(const win::MessageSpy& spy, HWND control) const {
    std::vector<WORD> codes;
    for (const auto& record : spy.To(parent)) {
      if (record.message == WM_COMMAND && reinterpret_cast<HWND>(record.lParam) == control) {
        codes.push_back(HIWORD(record.wParam));
      }
    }
    return codes;
  }

  // (code, position) of the scroll messages the parent got.
  std::vector<std::pair<WORD, WORD>> Scrolls(const win::MessageSpy& spy, UINT message) const {
    std::vector<std::pair<WORD, WORD>> scrolls;
    for (const auto& record : spy.To(parent)) {
      if (record.message == message) scrolls.emplace_back(LOWORD(record.wParam), HIWORD(record.wParam));
    }
    return scrolls;
  }

  static std::pair<DWORD, DWORD> Selection(HWND edit) {
    DWORD start = 0, end = 0;
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return {start, end};
  }

  HWND parent = nullptr;
};

using Pair = std::pair<WORD, WORD>;

// ---- Edit -------------------------------------------------------------------------

TEST_F(ControlsTest, EditTypingReplacesTheSelectionAndReportsEachChange) {
  HWND edit = Create("Edit", 21, WS_BORDER);
  SetWindowTextA(edit, "12.5");
  SetFocus(edit);
  SendMessageA(edit, EM_SETSEL, 0, -1);
  EXPECT_EQ(Selection(edit), std::make_pair(DWORD{0}, DWORD{4}));
  win::MessageSpy spy;

  win::PostTextInput("7");
  Pump();

  EXPECT_EQ(TextOf(edit), "7");
  EXPECT_THAT(Notifications(spy, edit), ElementsAre(EN_UPDATE, EN_CHANGE));
  EXPECT_EQ(Selection(edit), std::make_pair(DWORD{1}, DWORD{1}));
  EXPECT_TRUE(SendMessageA(edit, EM_GETMODIFY, 0, 0));
}

TEST_F(ControlsTest, EditKeysMoveTheCaretDeleteAndExtendTheSelectionWithShift) {
  HWND edit = Create("Edit", 21, WS_BORDER);
  SetWindowTextA(edit, "abcd");
  SetFocus(edit);
  win::PostKeyPress(VK_END);
  win::PostKeyPress(VK_BACK);   // "abc"
  win::PostKeyPress(VK_HOME);
  win::PostKeyPress(VK_DELETE);  // "bc"
  win::PostKeyPress(VK_RIGHT, win::kShift);
  Pump();
  EXPECT_EQ(TextOf(edit), "bc");
  EXPECT_EQ(Selection(edit), std::make_pair(DWORD{0}, DWORD{1}));
  win::PostTextInput("X");
  Pump();
  EXPECT_EQ(TextOf(edit), "Xc");
}

TEST_F(ControlsTest, EditSelectionMessagesFollowTheOriginal) {
  HWND edit = Create("Edit", 21, WS_BORDER);
  SetWindowTextA(edit, "hello");
  EXPECT_EQ(Selection(edit), std::make_pair(DWORD{0}, DWORD{0})) << "setting the text puts the caret first";
  SendMessageA(edit, EM_SETSEL, 4, 1);
  EXPECT_EQ(Selection(edit), std::make_pair(DWORD{1}, DWORD{4})) << "ends in either order";
  EXPECT_EQ(SendMessageA(edit, EM_GETSEL, 0, 0), MAKELRESULT(1, 4));
  SendMessageA(edit, EM_SETSEL, static_cast<WPARAM>(-1), 0);
  EXPECT_EQ(Selection(edit), std::make_pair(DWORD{1}, DWORD{1})) << "-1 drops the selection; the caret stays at the end given last";
  SendMessageA(edit, EM_SETSEL, 2, 99);
  EXPECT_EQ(Selection(edit), std::make_pair(DWORD{2}, DWORD{5}));
  SendMessageA(edit, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>("y!"));
  EXPECT_EQ(TextOf(edit), "hey!");
}

TEST_F(ControlsTest, EditRefusesWhatItsStyleAndLimitForbid) {
  HWND numbers = Create("Edit", 22, ES_NUMBER);
  SetFocus(numbers);
  win::PostTextInput("4a2");
  Pump();
  EXPECT_EQ(TextOf(numbers), "42");
  EXPECT_EQ(headless.BeepCount(), 1);

  HWND limited = Create("Edit", 23, 0);
  SendMessageA(limited, EM_LIMITTEXT, 3, 0);
  SetFocus(limited);
  win::MessageSpy spy;
  win::PostTextInput("abcd");
  Pump();
  EXPECT_EQ(TextOf(limited), "abc");
  EXPECT_EQ(Notifications(spy, limited).back(), EN_MAXTEXT);
}

TEST_F(ControlsTest, EditWorksInCharactersOfItsUtf8Text) {
  HWND edit = Create("Edit", 24, 0);
  SetFocus(edit);
  win::PostTextInput("a\xC3\xA9");  // "aé"
  Pump();
  EXPECT_EQ(TextOf(edit), "a\xC3\xA9");
  EXPECT_EQ(Selection(edit), std::make_pair(DWORD{3}, DWORD{3}));
  win::PostKeyPress(VK_BACK);
  Pump();
  EXPECT_EQ(TextOf(edit), "a") << "one character, two bytes";
}

// ---- Push button ----------------------------------------------------------------------

TEST_F(ControlsTest, ButtonClicksTakeTheFocusAndNotifyOnlyWhenReleasedOverTheButton) {
  HWND edit = Create("Edit", 30, 0);
  HWND button = CreateWindowExA(0, "Button", "Go", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 60, 60, 20, parent,
                                reinterpret_cast<HMENU>(31), nullptr, nullptr);
  SetFocus(edit);
  win::MessageSpy spy;
  POINT centre = win::WindowCentreOnScreen(button);
  win::PostMouseInput(WM_LBUTTONDOWN, centre);
  win::PostMouseInput(WM_LBUTTONUP, centre);
  Pump();
  EXPECT_EQ(GetFocus(), button);
  EXPECT_THAT(Notifications(spy, button), ElementsAre(BN_CLICKED));
  EXPECT_THAT(Notifications(spy, edit), ElementsAre(EN_KILLFOCUS));

  spy.Clear();
  win::PostMouseInput(WM_LBUTTONDOWN, centre);
  win::PostMouseInput(WM_LBUTTONUP, POINT{centre.x + 200, centre.y});
  Pump();
  EXPECT_TRUE(Notifications(spy, button).empty()) << "released outside";

  win::PostKeyPress(VK_SPACE);
  Pump();
  EXPECT_THAT(Notifications(spy, button), ElementsAre(BN_CLICKED));
  EXPECT_EQ(SendMessageA(button, WM_GETDLGCODE, 0, 0), DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON);
}

// ---- Scroll bar ---------------------------------------------------------------------------

TEST_F(ControlsTest, ScrollBarControlKeepsItsPositionInItsRangeAndPage) {
  HWND bar = Create("ScrollBar", 40, SBS_HORZ);
  int low = -1, high = -1;
  EXPECT_TRUE(GetScrollRange(bar, SB_CTL, &low, &high));
  EXPECT_EQ(std::make_pair(low, high), std::make_pair(0, 0)) << "a scroll bar control starts with an empty range";

  SetScrollRange(bar, SB_CTL, 0, 100, TRUE);
  EXPECT_EQ(SetScrollPos(bar, SB_CTL, 150, TRUE), 0);
  EXPECT_EQ(GetScrollPos(bar, SB_CTL), 100) << "clamped to the range";

  SCROLLINFO info{sizeof(SCROLLINFO), SIF_PAGE, 0, 0, 10, 0, 0};
  EXPECT_EQ(SetScrollInfo(bar, SB_CTL, &info, TRUE), 91) << "a page of 10 leaves 91 as the last position";

  SCROLLINFO read{sizeof(SCROLLINFO), SIF_PAGE | SIF_TRACKPOS, -7, -7, 77, -7, -7};
  EXPECT_TRUE(GetScrollInfo(bar, SB_CTL, &read));
  EXPECT_EQ(read.nPage, 10u);
  EXPECT_EQ(read.nTrackPos, 91) << "not tracking: the position";
  EXPECT_EQ(read.nMin, -7) << "fields the mask does not name stay untouched";
  EXPECT_EQ(read.nPos, -7);

  EXPECT_EQ(SendMessageA(bar, SBM_SETRANGE, 0, 50), 91) << "the range moved the position: the old one";
  EXPECT_EQ(SendMessageA(bar, SBM_GETPOS, 0, 0), 41);
  EXPECT_EQ(SendMessageA(bar, SBM_SETRANGE, 0, 60), 0) << "the position stayed";
  SCROLLINFO none{sizeof(SCROLLINFO), 0, 0, 0, 0, 0, 0};
  EXPECT_FALSE(GetScrollInfo(bar, SB_CTL, &none));
  SCROLLINFO badSize{sizeof(SCROLLINFO) + 1, SIF_ALL, 0, 0, 0, 0, 0};
  EXPECT_FALSE(GetScrollInfo(bar, SB_CTL, &badSize));
  HWND edit = Create("Edit", 41, 0);
  SCROLLINFO notABar{sizeof(SCROLLINFO), SIF_PAGE, 0, 0, 0, 0, 0};
  EXPECT_FALSE(GetScrollInfo(edit, SB_CTL, &notABar));
}

TEST_F(ControlsTest, ScrollBarCallsGoThroughItsMessagesAndKeysOnlyNotify) {
  HWND bar = Create("ScrollBar", 42, SBS_VERT | WS_TABSTOP, 16, 120);
  win::MessageSpy spy;
  SetScrollRange(bar, SB_CTL, 1, 50, FALSE);
  SetScrollPos(bar, SB_CTL, 20, TRUE);
  GetScrollPos(bar, SB_CTL);
  EXPECT_THAT(spy.Messages(bar), ElementsAre(SBM_SETRANGE, SBM_SETPOS, SBM_GETPOS));

  SetFocus(bar);
  spy.Clear();
  win::PostKeyPress(VK_DOWN);
  win::PostKeyPress(VK_NEXT);
  Pump();
  EXPECT_THAT(Scrolls(spy, WM_VSCROLL),
              ElementsAre(Pair(SB_LINEDOWN, 0), Pair(SB_ENDSCROLL, 0), Pair(SB_PAGEDOWN, 0), Pair(SB_ENDSCROLL, 0)));
  EXPECT_EQ(GetScrollPos(bar, SB_CTL), 20) << "the owner moves the bar, not the keys";
}

TEST_F(ControlsTest, StandardScrollBarsOfAWindowStartAtZeroToHundred) {
  int low = -1, high = -1;
  GetScrollRange(parent, SB_VERT, &low, &high);
  EXPECT_EQ(std::make_pair(low, high), std::make_pair(0, 100));
  EXPECT_EQ(SetScrollPos(parent, SB_VERT, 30, FALSE), 0);
  EXPECT_EQ(GetScrollPos(parent, SB_VERT), 30);
}

// ---- Trackbar ----------------------------------------------------------------------------

TEST_F(ControlsTest, TrackbarRangePositionAndSteps) {
  HWND track = Create(TRACKBAR_CLASSA, 50, TBS_BOTH | TBS_NOTICKS);
  EXPECT_EQ(SendMessageA(track, TBM_GETRANGEMIN, 0, 0), 0);
  EXPECT_EQ(SendMessageA(track, TBM_GETRANGEMAX, 0, 0), 100);
  EXPECT_EQ(SendMessageA(track, TBM_GETPAGESIZE, 0, 0), 20) << "a fifth of the range";
  EXPECT_EQ(SendMessageA(track, TBM_GETLINESIZE, 0, 0), 1);

  SendMessageA(track, TBM_SETRANGE, TRUE, MAKELPARAM(10, 60));
  EXPECT_EQ(SendMessageA(track, TBM_GETRANGEMIN, 0, 0), 10);
  EXPECT_EQ(SendMessageA(track, TBM_GETRANGEMAX, 0, 0), 60);
  EXPECT_EQ(SendMessageA(track, TBM_GETPOS, 0, 0), 10) << "the position follows the range";
  EXPECT_EQ(SendMessageA(track, TBM_GETPAGESIZE, 0, 0), 10);

  win::MessageSpy spy;
  SendMessageA(track, TBM_SETPOS, TRUE, 2500);
  EXPECT_EQ(SendMessageA(track, TBM_GETPOS, 0, 0), 60);
  SendMessageA(track, TBM_SETPOS, TRUE, -3);
  EXPECT_EQ(SendMessageA(track, TBM_GETPOS, 0, 0), 10);
  EXPECT_TRUE(Scrolls(spy, WM_HSCROLL).empty()) << "setting the position tells nobody";

  SendMessageA(track, TBM_SETRANGEMIN, FALSE, 1);
  SendMessageA(track, TBM_SETRANGEMAX, FALSE, 1000);
  EXPECT_EQ(SendMessageA(track, TBM_SETPAGESIZE, 0, 50), 199) << "the previous page";
  EXPECT_EQ(SendMessageA(track, TBM_SETLINESIZE, 0, 5), 1);
  SendMessageA(track, TBM_SETRANGEMAX, FALSE, 2000);
  EXPECT_EQ(SendMessageA(track, TBM_GETPAGESIZE, 0, 0), 50) << "a page once set stays";

  SendMessageA(track, TBM_SETTICFREQ, 50, 0);
  EXPECT_EQ(SendMessageA(track, TBM_GETNUMTICS, 0, 0), 0) << "no tick marks with TBS_NOTICKS";
  EXPECT_FALSE(SendMessageA(track, TBM_SETTIC, 0, 5000));
  SendMessageA(track, TBM_SETSEL, FALSE, MAKELPARAM(3, 9));
  EXPECT_EQ(SendMessageA(track, TBM_GETSELSTART, 0, 0), 3);
  EXPECT_EQ(SendMessageA(track, TBM_GETSELEND, 0, 0), 9);
}

TEST_F(ControlsTest, TrackbarTickMarksSelectionAndGeometry) {
  HWND track = Create(TRACKBAR_CLASSA, 55, TBS_BOTH | TBS_AUTOTICKS);
  SendMessageA(track, TBM_SETTICFREQ, 25, 0);
  EXPECT_EQ(SendMessageA(track, TBM_GETNUMTICS, 0, 0), 5) << "both ends and 25, 50, 75";
  HWND manual = Create(TRACKBAR_CLASSA, 56, TBS_BOTH);
  EXPECT_TRUE(SendMessageA(manual, TBM_SETTIC, 0, 60));
  EXPECT_TRUE(SendMessageA(manual, TBM_SETTIC, 0, 10));
  EXPECT_EQ(SendMessageA(manual, TBM_GETTIC, 0, 0), 10);
  EXPECT_EQ(SendMessageA(manual, TBM_GETTIC, 1, 0), 60);
  EXPECT_EQ(SendMessageA(manual, TBM_GETTIC, 2, 0), -1);
  EXPECT_EQ(SendMessageA(manual, TBM_GETNUMTICS, 0, 0), 4);
  SendMessageA(manual, TBM_CLEARTICS, FALSE, 0);
  EXPECT_EQ(SendMessageA(manual, TBM_GETNUMTICS, 0, 0), 2);
  SendMessageA(manual, TBM_SETSELSTART, FALSE, 4);
  SendMessageA(manual, TBM_SETSELEND, FALSE, 8);
  SendMessageA(manual, TBM_CLEARSEL, FALSE, 0);
  EXPECT_EQ(SendMessageA(manual, TBM_GETSELEND, 0, 0), 0);

  RECT channel{}, thumb{};
  SendMessageA(manual, TBM_SETPOS, TRUE, 50);
  SendMessageA(manual, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
  SendMessageA(manual, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
  EXPECT_LT(channel.left, channel.right);
  EXPECT_EQ((thumb.left + thumb.right) / 2, (channel.left + channel.right) / 2) << "the middle of the range";
}

TEST_F(ControlsTest, TrackbarRedrawsOnlyWhenAsked) {
  HWND track = Create(TRACKBAR_CLASSA, 51, TBS_BOTH);
  int before = headless.InvalidationCount(track);
  SendMessageA(track, TBM_SETRANGEMIN, FALSE, 1);
  SendMessageA(track, TBM_SETPOS, FALSE, 5);
  EXPECT_EQ(headless.InvalidationCount(track), before);
  SendMessageA(track, TBM_SETRANGEMAX, TRUE, 1000);
  EXPECT_EQ(headless.InvalidationCount(track), before + 1);
  win::WindowView view;
  ASSERT_TRUE(win::DescribeWindow(track, &view));
  EXPECT_EQ(view.kind, win::ControlKind::Trackbar);
  EXPECT_EQ(view.range.min, 1);
  EXPECT_EQ(view.range.max, 1000);
  EXPECT_EQ(view.range.pos, 5);
}

TEST_F(ControlsTest, TrackbarKeysMoveTheThumbAndTellTheParentWithTheirCodes) {
  HWND track = Create(TRACKBAR_CLASSA, 52, TBS_BOTH);
  SendMessageA(track, TBM_SETPAGESIZE, 0, 25);
  SetFocus(track);
  win::MessageSpy spy;
  win::PostKeyPress(VK_RIGHT);
  win::PostKeyPress(VK_NEXT);
  win::PostKeyPress(VK_END);
  win::PostKeyPress(VK_RIGHT);  // at the end already
  win::PostKeyPress(VK_HOME);
  Pump();
  EXPECT_THAT(Scrolls(spy, WM_HSCROLL),
              ElementsAre(Pair(TB_LINEDOWN, 0), Pair(TB_ENDTRACK, 0), Pair(TB_PAGEDOWN, 0), Pair(TB_ENDTRACK, 0),
                          Pair(TB_BOTTOM, 0), Pair(TB_ENDTRACK, 0), Pair(TB_LINEDOWN, 0), Pair(TB_ENDTRACK, 0),
                          Pair(TB_TOP, 0), Pair(TB_ENDTRACK, 0)));
  EXPECT_EQ(SendMessageA(track, TBM_GETPOS, 0, 0), 0);
  for (const auto& record : spy.To(parent)) {
    if (record.message == WM_HSCROLL) {
      EXPECT_EQ(reinterpret_cast<HWND>(record.lParam), track);
    }
  }

  HWND vertical = Create(TRACKBAR_CLASSA, 53, TBS_VERT, 24, 150);
  SetFocus(vertical);
  spy.Clear();
  win::PostKeyPress(VK_DOWN);
  Pump();
  EXPECT_THAT(Scrolls(spy, WM_VSCROLL), ElementsAre(Pair(TB_LINEDOWN, 0), Pair(TB_ENDTRACK, 0)));
  EXPECT_EQ(SendMessageA(vertical, TBM_GETPOS, 0, 0), 1);
}

TEST_F(ControlsTest, TrackbarThumbDragReportsTrackingThenTheFinalPosition) {
  HWND track = Create(TRACKBAR_CLASSA, 54, TBS_BOTH, 180);
  win::WindowView view;
  ASSERT_TRUE(win::DescribeWindow(track, &view));
  POINT thumb{(view.thumbRect.left + view.thumbRect.right) / 2, (view.thumbRect.top + view.thumbRect.bottom) / 2};
  ClientToScreen(track, &thumb);
  win::MessageSpy spy;
  win::PostMouseInput(WM_LBUTTONDOWN, thumb);
  win::PostMouseInput(WM_MOUSEMOVE, win::TrackbarPointOnScreen(track, 70));
  win::PostMouseInput(WM_LBUTTONUP, win::TrackbarPointOnScreen(track, 70));
  Pump();
  EXPECT_THAT(Scrolls(spy, WM_HSCROLL),
              ElementsAre(Pair(TB_THUMBTRACK, 70), Pair(TB_THUMBPOSITION, 70), Pair(TB_ENDTRACK, 0)));
  EXPECT_EQ(SendMessageA(track, TBM_GETPOS, 0, 0), 70);
  EXPECT_EQ(GetFocus(), track);

  spy.Clear();
  POINT right = win::TrackbarPointOnScreen(track, 95);
  win::PostMouseInput(WM_LBUTTONDOWN, right);
  win::PostMouseInput(WM_LBUTTONUP, right);
  Pump();
  EXPECT_THAT(Scrolls(spy, WM_HSCROLL), ElementsAre(Pair(TB_PAGEDOWN, 0), Pair(TB_ENDTRACK, 0)));
  EXPECT_EQ(SendMessageA(track, TBM_GETPOS, 0, 0), 90);
}

// ---- Up-down ------------------------------------------------------------------------------

TEST_F(ControlsTest, UpDownPacksItsRangeAndPositionIn16Bits) {
  HWND spin = Create(UPDOWN_CLASSA, 60, 0, 16, 24);
  EXPECT_EQ(SendMessageA(spin, UDM_GETRANGE, 0, 0), MAKELONG(0, 100)) << "the default: 100 down to 0";

  SendMessageA(spin, UDM_SETRANGE, 0, MAKELONG(1000, 1));
  EXPECT_EQ(SendMessageA(spin, UDM_GETRANGE, 0, 0), 0x103E8);
  EXPECT_EQ(SendMessageA(spin, UDM_SETPOS, 0, MAKELONG(5000, 0)), 1) << "the previous position";
  EXPECT_EQ(LOWORD(SendMessageA(spin, UDM_GETPOS, 0, 0)), 1000) << "clamped";
  EXPECT_NE(HIWORD(SendMessageA(spin, UDM_GETPOS, 0, 0)), 0) << "no buddy: the error flag is set";

  SendMessageA(spin, UDM_SETRANGE32, static_cast<WPARAM>(-5), 5);
  SendMessageA(spin, UDM_SETPOS, 0, MAKELONG(-1, 0));
  EXPECT_EQ(LOWORD(SendMessageA(spin, UDM_GETPOS, 0, 0)), 0xFFFF);
  int lower = 0, upper = 0;
  SendMessageA(spin, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lower), reinterpret_cast<LPARAM>(&upper));
  EXPECT_EQ(std::make_pair(lower, upper), std::make_pair(-5, 5));
}

TEST_F(ControlsTest, UpDownWithABuddyShowsAndReadsThePositionThere) {
  HWND buddy = Create("Edit", 61, 0);
  HWND spin = Create(UPDOWN_CLASSA, 62, UDS_SETBUDDYINT, 16, 24);
  SendMessageA(spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy), 0);
  SendMessageA(spin, UDM_SETRANGE32, 0, 50);
  SendMessageA(spin, UDM_SETPOS32, 0, 12);
  EXPECT_EQ(TextOf(buddy), "12");
  SetWindowTextA(buddy, "30");
  EXPECT_EQ(SendMessageA(spin, UDM_GETPOS, 0, 0), MAKELONG(30, 0));
  SetWindowTextA(buddy, "x");
  EXPECT_NE(HIWORD(SendMessageA(spin, UDM_GETPOS, 0, 0)), 0);
}

TEST_F(ControlsTest, UpDownBuddyAndBase) {
  HWND buddy = Create("Edit", 64, 0);
  HWND spin = Create(UPDOWN_CLASSA, 65, UDS_SETBUDDYINT, 16, 24);
  EXPECT_EQ(SendMessageA(spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy), 0), 0);
  EXPECT_EQ(reinterpret_cast<HWND>(SendMessageA(spin, UDM_GETBUDDY, 0, 0)), buddy);
  SendMessageA(spin, UDM_SETRANGE32, 0, 255);
  EXPECT_EQ(SendMessageA(spin, UDM_SETBASE, 16, 0), 10);
  EXPECT_EQ(SendMessageA(spin, UDM_GETBASE, 0, 0), 16);
  EXPECT_EQ(SendMessageA(spin, UDM_SETBASE, 7, 0), 0) << "only 10 and 16";
  SendMessageA(spin, UDM_SETPOS32, 0, 255);
  EXPECT_EQ(TextOf(buddy), "0xFF");
}

TEST_F(ControlsTest, UpDownClickAsksTheParentThenScrolls) {
  HWND spin = Create(UPDOWN_CLASSA, 63, 0, 16, 24);
  SendMessageA(spin, UDM_SETRANGE32, 0, 10);
  win::MessageSpy spy;
  RECT rect;
  GetWindowRect(spin, &rect);
  POINT upper{(rect.left + rect.right) / 2, rect.top + 2};
  win::PostMouseInput(WM_LBUTTONDOWN, upper);
  win::PostMouseInput(WM_LBUTTONUP, upper);
  Pump();
  EXPECT_EQ(SendMessageA(spin, UDM_GETPOS32, 0, 0), 1);
  EXPECT_EQ(spy.Count(parent, WM_NOTIFY), 1);
  EXPECT_THAT(Scrolls(spy, WM_VSCROLL), ElementsAre(Pair(SB_THUMBPOSITION, 1), Pair(SB_ENDSCROLL, 1)));
}

// ---- Disabled controls -----------------------------------------------------------------

TEST_F(ControlsTest, MouseInputNeverReachesADisabledWindow) {
  HWND edit = Create("Edit", 70, 0);
  HWND button = CreateWindowExA(0, "Button", "Go", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 60, 60, 20, parent,
                                reinterpret_cast<HMENU>(71), nullptr, nullptr);
  SetFocus(edit);
  EnableWindow(button, FALSE);
  win::MessageSpy spy;
  POINT centre = win::WindowCentreOnScreen(button);
  win::PostMouseInput(WM_LBUTTONDOWN, centre);
  win::PostMouseInput(WM_LBUTTONUP, centre);
  Pump();
  EXPECT_EQ(spy.Count(button, WM_LBUTTONDOWN, Delivery::Dispatched), 0);
  EXPECT_EQ(spy.Count(button, WM_LBUTTONUP, Delivery::Dispatched), 0);
  EXPECT_TRUE(Notifications(spy, button).empty());
  EXPECT_EQ(GetFocus(), edit) << "the click did not take the focus either";
  EXPECT_EQ(spy.Count(parent, WM_LBUTTONDOWN, Delivery::Dispatched), 1) << "the click went through to the parent";

  // A disabled top-level window (the owner of a modal dialog) gets none.
  spy.Clear();
  EnableWindow(parent, FALSE);
  win::PostMouseInput(WM_LBUTTONDOWN, win::WindowCentreOnScreen(parent));
  win::PostMouseInput(WM_LBUTTONUP, win::WindowCentreOnScreen(parent));
  win::PostMouseInput(WM_LBUTTONDOWN, centre);
  win::PostMouseInput(WM_LBUTTONUP, centre);
  Pump();
  EXPECT_EQ(spy.Count(parent, WM_LBUTTONDOWN, Delivery::Dispatched), 0);
  EXPECT_EQ(spy.Count(parent, WM_LBUTTONUP, Delivery::Dispatched), 0);
  EnableWindow(parent, TRUE);

  EnableWindow(button, TRUE);
  win::PostMouseInput(WM_LBUTTONDOWN, centre);
  win::PostMouseInput(WM_LBUTTONUP, centre);
  Pump();
  EXPECT_THAT(Notifications(spy, button), ElementsAre(BN_CLICKED)) << "enabled again, it clicks";
}

TEST_F(ControlsTest, DisablingTheFocusedControlOrItsParentTakesTheFocusAway) {
  HWND edit = Create("Edit", 72, 0);
  SetFocus(edit);
  win::MessageSpy spy;
  EnableWindow(edit, FALSE);
  EXPECT_EQ(GetFocus(), nullptr);
  EXPECT_EQ(spy.Count(edit, WM_KILLFOCUS), 1);
  EXPECT_THAT(Notifications(spy, edit), ElementsAre(EN_KILLFOCUS));

  EnableWindow(edit, TRUE);
  SetFocus(edit);
  ASSERT_EQ(GetFocus(), edit);
  EnableWindow(parent, FALSE);
  EXPECT_EQ(GetFocus(), nullptr) << "nor does a control of a disabled window keep it";
}

// ---- Ranges of negative numbers ----------------------------------------------------------

TEST_F(ControlsTest, TrackbarRangeBelowZeroTravelsSignedInItsMessages) {
  HWND track = Create(TRACKBAR_CLASSA, 73, TBS_BOTH | TBS_NOTICKS);
  SendMessageA(track, TBM_SETRANGE, TRUE, MAKELPARAM(-50, 50));
  EXPECT_EQ(SendMessageA(track, TBM_GETRANGEMIN, 0, 0), -50);
  EXPECT_EQ(SendMessageA(track, TBM_GETRANGEMAX, 0, 0), 50);
  EXPECT_EQ(SendMessageA(track, TBM_GETPOS, 0, 0), 0) << "0 is inside -50..50";
  EXPECT_EQ(SendMessageA(track, TBM_GETPAGESIZE, 0, 0), 20) << "a fifth of 100";
  SendMessageA(track, TBM_SETPOS, TRUE, -70);
  EXPECT_EQ(SendMessageA(track, TBM_GETPOS, 0, 0), -50);
  SendMessageA(track, TBM_SETSEL, FALSE, MAKELPARAM(-10, 20));
  EXPECT_EQ(SendMessageA(track, TBM_GETSELSTART, 0, 0), -10);
  EXPECT_EQ(SendMessageA(track, TBM_GETSELEND, 0, 0), 20);

  SetFocus(track);
  win::MessageSpy spy;
  win::PostKeyPress(VK_NEXT);
  win::PostKeyPress(VK_RIGHT);
  Pump();
  EXPECT_EQ(SendMessageA(track, TBM_GETPOS, 0, 0), -29);
  EXPECT_THAT(Scrolls(spy, WM_HSCROLL), ElementsAre(Pair(TB_PAGEDOWN, 0), Pair(TB_ENDTRACK, 0),
                                                    Pair(TB_LINEDOWN, 0), Pair(TB_ENDTRACK, 0)));

  // Dragging the thumb to -25 reports -25 in the 16 bits of the message.
  spy.Clear();
  win::WindowView view;
  ASSERT_TRUE(win::DescribeWindow(track, &view));
  POINT thumb{(view.thumbRect.left + view.thumbRect.right) / 2, (view.thumbRect.top + view.thumbRect.bottom) / 2};
  ClientToScreen(track, &thumb);
  win::PostMouseInput(WM_LBUTTONDOWN, thumb);
  win::PostMouseInput(WM_MOUSEMOVE, win::TrackbarPointOnScreen(track, -25));
  win::PostMouseInput(WM_LBUTTONUP, win::TrackbarPointOnScreen(track, -25));
  Pump();
  EXPECT_EQ(SendMessageA(track, TBM_GETPOS, 0, 0), -25);
  const auto minus25 = static_cast<WORD>(-25);
  EXPECT_THAT(Scrolls(spy, WM_HSCROLL), ElementsAre(Pair(TB_THUMBTRACK, minus25), Pair(TB_THUMBPOSITION, minus25),
                                                    Pair(TB_ENDTRACK, 0)));
}

TEST_F(ControlsTest, ScrollBarAndUpDownRangesBelowZero) {
  HWND bar = Create("ScrollBar", 74, SBS_HORZ);
  SetScrollRange(bar, SB_CTL, -50, 50, FALSE);
  SCROLLINFO page{sizeof(SCROLLINFO), SIF_PAGE, 0, 0, 10, 0, 0};
  SetScrollInfo(bar, SB_CTL, &page, FALSE);
  EXPECT_EQ(SetScrollPos(bar, SB_CTL, 100, FALSE), 0) << "0 was inside the range";
  EXPECT_EQ(GetScrollPos(bar, SB_CTL), 41) << "a page of 10 shows the last positions 41..50";
  SetScrollPos(bar, SB_CTL, -80, FALSE);
  EXPECT_EQ(GetScrollPos(bar, SB_CTL), -50);

  HWND spin = Create(UPDOWN_CLASSA, 75, 0, 16, 24);
  SendMessageA(spin, UDM_SETRANGE, 0, MAKELPARAM(-10, -50));  // upper -10, lower -50
  EXPECT_EQ(SendMessageA(spin, UDM_GETPOS32, 0, 0), -10) << "0 is above the range";
  int lower = 0, upper = 0;
  SendMessageA(spin, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lower), reinterpret_cast<LPARAM>(&upper));
  EXPECT_EQ(lower, -50);
  EXPECT_EQ(upper, -10);
  SendMessageA(spin, UDM_SETPOS, 0, MAKELPARAM(-30, 0));
  EXPECT_EQ(static_cast<SHORT>(LOWORD(SendMessageA(spin, UDM_GETPOS, 0, 0))), -30);
  SetFocus(spin);
  win::MessageSpy spy;
  win::PostKeyPress(VK_DOWN);
  Pump();
  EXPECT_EQ(SendMessageA(spin, UDM_GETPOS32, 0, 0), -31);
  EXPECT_THAT(Scrolls(spy, WM_VSCROLL), ElementsAre(Pair(SB_THUMBPOSITION, static_cast<WORD>(-31)),
                                                    Pair(SB_ENDSCROLL, static_cast<WORD>(-31))));
}

// ---- The shared tail ------------------------------------------------------------------

TEST_F(ControlsTest, EachControlRedrawsForTheFocusAndEnableChangesItShows) {
  HWND track = Create(TRACKBAR_CLASSA, 76, TBS_BOTH);
  HWND spin = Create(UPDOWN_CLASSA, 77, 0, 16, 24);
  HWND edit = Create("Edit", 78, 0);
  SetFocus(edit);
  const int trackBefore = headless.InvalidationCount(track);
  const int spinBefore = headless.InvalidationCount(spin);
  SetFocus(track);
  EXPECT_EQ(headless.InvalidationCount(track), trackBefore + 1) << "the trackbar shows its focus";
  SetFocus(spin);
  EXPECT_EQ(headless.InvalidationCount(spin), spinBefore) << "an up-down does not";
  EXPECT_EQ(SendMessageA(spin, WM_SETFOCUS, 0, 0), 0);
  EnableWindow(spin, FALSE);
  EXPECT_EQ(headless.InvalidationCount(spin), spinBefore + 2) << "disabling redraws (the window system's and its own)";
  win::MessageSpy spy;
  EXPECT_EQ(SendMessageA(track, WM_KEYDOWN, 'A', 0), 0) << "a key it does not use goes to the default processing";
  EXPECT_EQ(spy.Count(parent, WM_HSCROLL), 0);
}

}  // namespace
