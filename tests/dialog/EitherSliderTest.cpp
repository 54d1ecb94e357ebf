// One control object over a scroll bar, a trackbar and an up-down control:
// classification by window class, and what each operation sends to each kind.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "dialog/DialogTestSupport.h"
#include "dialog/EitherSlider.h"
#include "win/commctrl.h"

namespace {

using dialog_test::DialogTest;
using win::Delivery;
using win::Sent;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The messages the code under test sent to the control, without the ones
// the window system adds while routing (spy.Messages leaves those out).
std::vector<win::MessageRecord> SentTo(const win::MessageSpy& spy, HWND hWnd) {
  std::vector<win::MessageRecord> sent;
  for (const auto& record : spy.To(hWnd, Delivery::Sent)) {
    if (record.message != WM_GETDLGCODE) sent.push_back(record);
  }
  return sent;
}

class EitherSlider : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    InitCommonControls();
    static const char kParentClass[] = "EitherSliderTestParent";
    WNDCLASSA wc{};
    if (!GetClassInfoA(nullptr, kParentClass, &wc)) {
      wc.lpfnWndProc = DefWindowProcA;
      wc.lpszClassName = kParentClass;
      RegisterClassA(&wc);
    }
    parent = CreateWindowExA(0, kParentClass, "parent", WS_POPUP | WS_VISIBLE, 0, 0, 400, 200, nullptr, nullptr,
                             nullptr, nullptr);
  }
  void TearDown() override {
    DestroyWindow(parent);
    DialogTest::TearDown();
  }

  HWND Child(const char* className, DWORD style = 0, int id = 100) {
    return CreateWindowExA(0, className, "", WS_CHILD | WS_VISIBLE | style, 10, 10, 200, 20, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  }

  HWND parent = nullptr;
};

TEST(EitherSliderClass, ClassNamesMatchWithoutRegardToCase) {
  EXPECT_EQ(CEitherSlider::ClassifyControlClass("SCROLLBAR"), 1);
  EXPECT_EQ(CEitherSlider::ClassifyControlClass("ScrollBar"), 1);
  EXPECT_EQ(CEitherSlider::ClassifyControlClass("msctls_trackbar32"), 2);
  EXPECT_EQ(CEitherSlider::ClassifyControlClass("MSCTLS_TRACKBAR32"), 2);
  EXPECT_EQ(CEitherSlider::ClassifyControlClass("msctls_updown32"), 3);
  EXPECT_EQ(CEitherSlider::ClassifyControlClass("Msctls_UpDown32"), 3);
  EXPECT_EQ(CEitherSlider::ClassifyControlClass("msctls_trackbar"), 0);
  EXPECT_EQ(CEitherSlider::ClassifyControlClass("Edit"), 0);
  EXPECT_EQ(CEitherSlider::ClassifyControlClass(""), 0);
  EXPECT_EQ(CEitherSlider::ClassifyControlClass(nullptr), 0);
  EXPECT_EQ(CEitherSlider::ClassifyControlWindow(nullptr), 0);
}

TEST(EitherSliderClass, RunTimeClassRecordWithoutDynamicCreation) {
  const CRuntimeClass* record = RUNTIME_CLASS(CEitherSlider);
  EXPECT_STREQ(record->m_lpszClassName, "CEitherSlider");
  EXPECT_EQ(record->m_pBaseClass, RUNTIME_CLASS(CWnd));
  EXPECT_EQ(record->m_pfnCreateObject, nullptr);
  CEitherSlider slider;
  EXPECT_EQ(slider.GetRuntimeClass(), record);
  EXPECT_TRUE(slider.IsKindOf(RUNTIME_CLASS(CWnd)));
  EXPECT_EQ(slider.m_nControlType, 0);
  EXPECT_EQ(slider.m_hWnd, nullptr);
}

TEST_F(EitherSlider, WindowsAreClassifiedWhenAttached) {
  CEitherSlider scroll, track, updown, edit;
  ASSERT_TRUE(scroll.SubclassWindow(Child("ScrollBar", SBS_HORZ, 101)));
  ASSERT_TRUE(track.SubclassWindow(Child(TRACKBAR_CLASSA, 0, 102)));
  ASSERT_TRUE(updown.SubclassWindow(Child(UPDOWN_CLASSA, 0, 103)));
  ASSERT_TRUE(edit.SubclassWindow(Child("Edit", 0, 104)));
  EXPECT_EQ(scroll.m_nControlType, 1);
  EXPECT_EQ(track.m_nControlType, 2);
  EXPECT_EQ(updown.m_nControlType, 3);
  EXPECT_EQ(edit.m_nControlType, 0);
}

TEST_F(EitherSlider, ALongClassNameIsReadCutAndMatchesNothing) {
  const std::string longName = std::string("msctls_trackbar32") + std::string(180, 'x');
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = longName.c_str();
  RegisterClassA(&wc);
  HWND hWnd = Child(longName.c_str());
  ASSERT_NE(hWnd, nullptr);
  EXPECT_EQ(CEitherSlider::ClassifyControlWindow(hWnd), 0);
  DestroyWindow(hWnd);
  UnregisterClassA(longName.c_str(), nullptr);
}

TEST_F(EitherSlider, TheFirstKindStaysAcrossAttachments) {
  CEitherSlider slider;
  ASSERT_TRUE(slider.SubclassWindow(Child(TRACKBAR_CLASSA, 0, 101)));
  slider.UnsubclassWindow();
  ASSERT_TRUE(slider.SubclassWindow(Child(UPDOWN_CLASSA, 0, 102)));
  EXPECT_EQ(slider.m_nControlType, 2);
  slider.DestroyWindow();
  EXPECT_EQ(slider.m_hWnd, nullptr);
  EXPECT_EQ(slider.m_nControlType, 2);
}

TEST_F(EitherSlider, AnUnclassifiedObjectClassifiesAgainOnItsNextAttachment) {
  CEitherSlider slider;
  ASSERT_TRUE(slider.SubclassWindow(Child("Edit", 0, 101)));
  EXPECT_EQ(slider.m_nControlType, 0);
  slider.UnsubclassWindow();
  ASSERT_TRUE(slider.SubclassWindow(Child(UPDOWN_CLASSA, 0, 102)));
  EXPECT_EQ(slider.m_nControlType, 3);
}

TEST_F(EitherSlider, AWindowItCreatesIsClassifiedFromTheCreationRecord) {
  CEitherSlider slider;
  ASSERT_TRUE(slider.Create(TRACKBAR_CLASSA, "", WS_VISIBLE, RECT{0, 0, 100, 20}, CWnd::FromHandle(parent), 101));
  EXPECT_EQ(slider.m_nControlType, 2);
  slider.SetRange(0, 10, FALSE);
  slider.SetPos(7);
  EXPECT_EQ(dialog_test::TrackbarPos(slider.m_hWnd), 7);
}

TEST_F(EitherSlider, AClassGivenAsAnAtomIsNotReadAsAName) {
  CEitherSlider slider;
  CREATESTRUCT cs{};
  cs.lpszClass = MAKEINTRESOURCEA(0xC123);
  struct Probe : CEitherSlider {
    using CEitherSlider::PreCreateWindow;
  };
  Probe probe;
  EXPECT_TRUE(probe.PreCreateWindow(cs));
  EXPECT_EQ(probe.m_nControlType, 0);
  cs.lpszClass = "msctls_updown32";
  probe.PreCreateWindow(cs);
  EXPECT_EQ(probe.m_nControlType, 3);
}

TEST_F(EitherSlider, AnUnclassifiedObjectIsInert) {
  HWND hEdit = Child("Edit", 0, 101);
  CEitherSlider slider;
  ASSERT_TRUE(slider.SubclassWindow(hEdit));
  win::MessageSpy spy;
  for (UINT code = 0; code <= 9; ++code) EXPECT_EQ(slider.GetPosFromScrollCode(code), 0);
  EXPECT_EQ(slider.GetTrackPos(), 0);
  EXPECT_EQ(slider.SetLineSize(5), 0);
  EXPECT_EQ(slider.GetPageSize(), 0);
  EXPECT_EQ(slider.SetPageSize(5), 0);
  EXPECT_EQ(slider.GetRangeMax(), 0);
  EXPECT_EQ(slider.GetRangeMin(), 0);
  slider.SetRange(1, 1000, TRUE);
  slider.SetPos(3);
  slider.SetTicFreq(50);
  EXPECT_THAT(SentTo(spy, hEdit), IsEmpty());
}

TEST_F(EitherSlider, ATrackbarGetsTheTrackbarMessages) {
  HWND hTrack = Child(TRACKBAR_CLASSA, 0, 101);
  CEitherSlider slider;
  ASSERT_TRUE(slider.SubclassWindow(hTrack));
  const int redrawsBefore = headless.InvalidationCount(hTrack);
  slider.SetRange(1, 1000, FALSE);
  EXPECT_EQ(headless.InvalidationCount(hTrack), redrawsBefore) << "set up without redrawing";
  EXPECT_EQ(slider.GetRangeMin(), 1);
  EXPECT_EQ(slider.GetRangeMax(), 1000);

  win::MessageSpy spy;
  slider.SetLineSize(4);
  EXPECT_EQ(slider.SetLineSize(1), 4);
  slider.SetPageSize(30);
  EXPECT_EQ(slider.SetPageSize(50), 30);
  EXPECT_EQ(slider.GetPageSize(), 50);
  slider.SetTicFreq(50);
  slider.SetPos(250);
  EXPECT_THAT(SentTo(spy, hTrack),
              ElementsAre(Sent(hTrack, TBM_SETLINESIZE, 0, 4), Sent(hTrack, TBM_SETLINESIZE, 0, 1),
                          Sent(hTrack, TBM_SETPAGESIZE, 0, 30), Sent(hTrack, TBM_SETPAGESIZE, 0, 50),
                          Sent(hTrack, TBM_GETPAGESIZE, 0, 0), Sent(hTrack, TBM_SETTICFREQ, 50, 0),
                          Sent(hTrack, TBM_SETPOS, TRUE, 250)));
  // Every code answers the trackbar's own position.
  for (UINT code = 0; code <= 9; ++code) EXPECT_EQ(slider.GetPosFromScrollCode(code), 250) << code;
  EXPECT_EQ(slider.GetTrackPos(), 250);

  // Beyond the range the trackbar shows its upper end.
  slider.SetPos(2500);
  EXPECT_EQ(slider.GetPosFromScrollCode(SB_THUMBPOSITION), 1000);
}

TEST_F(EitherSlider, AnUpDownControlGetsSixteenBitValues) {
  HWND hUpDown = Child(UPDOWN_CLASSA, 0, 101);
  CEitherSlider slider;
  ASSERT_TRUE(slider.SubclassWindow(hUpDown));
  win::MessageSpy spy;
  slider.SetRange(1, 1000, FALSE);
  EXPECT_THAT(SentTo(spy, hUpDown), ElementsAre(Sent(hUpDown, UDM_SETRANGE, 0, 0x103E8)));
  EXPECT_EQ(slider.GetRangeMin(), 1);
  EXPECT_EQ(slider.GetRangeMax(), 1000);

  spy.Clear();
  slider.SetPos(0x10000 + 500);  // only the low 16 bits travel
  EXPECT_THAT(SentTo(spy, hUpDown), ElementsAre(Sent(hUpDown, UDM_SETPOS, 0, 500)));
  EXPECT_EQ(slider.GetPosFromScrollCode(SB_LINEUP), 500);
  EXPECT_EQ(slider.GetTrackPos(), 500);

  slider.SetRange(-10, 10, TRUE);
  slider.SetPos(-1);
  EXPECT_EQ(slider.GetPosFromScrollCode(SB_BOTTOM), -1) << "a low word of 0xFFFF reads as -1";
  EXPECT_EQ(slider.GetRangeMin(), -10);

  spy.Clear();
  EXPECT_EQ(slider.SetLineSize(7), 1);
  EXPECT_EQ(slider.GetPageSize(), 1);
  EXPECT_EQ(slider.SetPageSize(7), 1);
  slider.SetTicFreq(5);
  EXPECT_THAT(SentTo(spy, hUpDown), IsEmpty());
}

TEST_F(EitherSlider, AScrollBarComputesThePositionFromTheScrollCode) {
  HWND hBar = Child("SCROLLBAR", SBS_HORZ, 101);
  CEitherSlider slider;
  ASSERT_TRUE(slider.SubclassWindow(hBar));
  win::MessageSpy spy;
  slider.SetRange(0, 100, FALSE);
  EXPECT_THAT(SentTo(spy, hBar), ElementsAre(Sent(hBar, SBM_SETRANGEREDRAW, 0, 100)))
      << "a scroll bar always redraws";
  EXPECT_EQ(slider.SetPageSize(5), 0);
  EXPECT_EQ(slider.GetPageSize(), 5);
  slider.SetPos(40);
  EXPECT_EQ(GetScrollPos(hBar, SB_CTL), 40);

  EXPECT_EQ(slider.GetPosFromScrollCode(SB_LINEUP), 39);
  EXPECT_EQ(slider.GetPosFromScrollCode(SB_LINEDOWN), 41);
  EXPECT_EQ(slider.GetPosFromScrollCode(SB_PAGEUP), 35);
  EXPECT_EQ(slider.GetPosFromScrollCode(SB_PAGEDOWN), 45);
  EXPECT_EQ(slider.GetPosFromScrollCode(SB_THUMBPOSITION), 40);
  EXPECT_EQ(slider.GetPosFromScrollCode(SB_THUMBTRACK), slider.GetTrackPos());
  EXPECT_EQ(slider.GetPosFromScrollCode(SB_TOP), 0);
  EXPECT_EQ(slider.GetPosFromScrollCode(SB_BOTTOM), 100);
  EXPECT_EQ(slider.GetPosFromScrollCode(SB_ENDSCROLL), 40);
  EXPECT_EQ(slider.GetPosFromScrollCode(9), 40);
  EXPECT_EQ(slider.GetPosFromScrollCode(0xFFFFFFFFu), 40);

  // Results are not clamped to the range.
  slider.SetPos(0);
  EXPECT_EQ(slider.GetPosFromScrollCode(SB_LINEUP), -1);
  slider.SetPos(1000);
  const int top = GetScrollPos(hBar, SB_CTL);
  EXPECT_EQ(slider.GetPosFromScrollCode(SB_PAGEDOWN), top + 5);

  spy.Clear();
  EXPECT_EQ(slider.SetLineSize(3), 1);
  slider.SetTicFreq(10);
  EXPECT_THAT(SentTo(spy, hBar), IsEmpty());
}

TEST_F(EitherSlider, AScrollBarPageChangeLeavesTheRestOfTheBar) {
  HWND hBar = Child("SCROLLBAR", SBS_HORZ, 101);
  CEitherSlider slider;
  ASSERT_TRUE(slider.SubclassWindow(hBar));
  slider.SetRange(-20, 20, TRUE);
  slider.SetPos(-7);
  EXPECT_EQ(slider.SetPageSize(4), 0);
  EXPECT_EQ(slider.SetPageSize(6), 4);
  EXPECT_EQ(slider.GetRangeMin(), -20);
  EXPECT_EQ(slider.GetRangeMax(), 20);
  EXPECT_EQ(GetScrollPos(hBar, SB_CTL), -7);
}

}  // namespace
