// The framework: run-time classes, message maps and their chaining, command
// routing, subclassing and creation, its window procedure, exceptions,
// allocation, temporary objects and the common-control wrappers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "AfxTestSupport.h"

using namespace platform_test;
using ::testing::ElementsAre;

namespace {

class FrameworkTest : public AfxTest {};

// ---- Run-time classes -----------------------------------------------------------------

class CRecordedWnd : public CWnd {
  DECLARE_DYNAMIC(CRecordedWnd)
};
IMPLEMENT_DYNAMIC(CRecordedWnd, CWnd)

// Declares no record of its own: asked, it answers its base's.
class CUnrecordedWnd : public CRecordedWnd {};

TEST_F(FrameworkTest, RunTimeClassesAnswerTypeQueriesAlongTheirBases) {
  CUnrecordedWnd wnd;
  EXPECT_STREQ(wnd.GetRuntimeClass()->m_lpszClassName, "CRecordedWnd");
  EXPECT_TRUE(wnd.IsKindOf(RUNTIME_CLASS(CRecordedWnd)));
  EXPECT_TRUE(wnd.IsKindOf(RUNTIME_CLASS(CWnd)));
  EXPECT_TRUE(wnd.IsKindOf(RUNTIME_CLASS(CObject)));
  EXPECT_FALSE(wnd.IsKindOf(RUNTIME_CLASS(CDialog)));
  EXPECT_EQ(RUNTIME_CLASS(CRecordedWnd)->m_pfnCreateObject, nullptr) << "no dynamic creation";
  EXPECT_EQ(DYNAMIC_DOWNCAST(CDialog, &wnd), nullptr);
  EXPECT_EQ(DYNAMIC_DOWNCAST(CWnd, &wnd), &wnd);
}

// ---- Message maps -----------------------------------------------------------------------

std::vector<std::string> g_calls;

// The window procedure of the class the test windows are made of; it
// records what reaches it past the framework.
LRESULT CALLBACK RecordingProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_VSCROLL || msg == WM_HSCROLL) g_calls.push_back("original " + win::MessageName(msg));
  if (msg == WM_COMMAND) g_calls.push_back("original WM_COMMAND");
  return DefWindowProcA(hWnd, msg, wParam, lParam);
}

void RegisterRecordingClass() {
  WNDCLASSA wc{};
  if (GetClassInfoA(nullptr, "Recording", &wc)) return;
  wc.lpfnWndProc = RecordingProc;
  wc.lpszClassName = "Recording";
  RegisterClassA(&wc);
}

class CBaseWnd : public CWnd {
 public:
  afx_msg void OnFirst() { g_calls.push_back("base first"); }
  afx_msg void OnFieldLeft() { g_calls.push_back("base field left"); }
  afx_msg void OnHScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar) {
    g_calls.push_back("base scroll " + std::to_string(nSBCode) + " " + std::to_string(nPos) + " " +
                      (pScrollBar == nullptr ? "none" : std::to_string(pScrollBar->GetDlgCtrlID())));
    lastScrollBar = pScrollBar != nullptr ? pScrollBar->m_hWnd : nullptr;
  }
  HWND lastScrollBar = nullptr;
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CBaseWnd, CWnd)
  ON_COMMAND(100, OnFirst)
  ON_CONTROL(EN_KILLFOCUS, 200, OnFieldLeft)
  ON_WM_HSCROLL()
END_MESSAGE_MAP()

class CDerivedWnd : public CBaseWnd {
 public:
  afx_msg void OnFirstAgain() { g_calls.push_back("derived first"); }
  afx_msg BOOL OnHelpInfo(HELPINFO* pHelpInfo) {
    g_calls.push_back("help " + std::to_string(pHelpInfo->iCtrlId));
    return TRUE;
  }
  afx_msg void OnAnyScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar) {
    g_calls.push_back("derived scroll");
    CWnd::OnVScroll(nSBCode, nPos, pScrollBar);
  }
  afx_msg void OnRange(UINT nID) { g_calls.push_back("range " + std::to_string(nID)); }
  afx_msg LRESULT OnPrivate(WPARAM wParam, LPARAM) { return static_cast<LRESULT>(wParam) * 2; }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDerivedWnd, CBaseWnd)
  ON_COMMAND(100, OnFirstAgain)
  ON_WM_HELPINFO()
  ON_SCROLL_MESSAGE(WM_VSCROLL, OnAnyScroll)
  ON_COMMAND_RANGE(300, 302, OnRange)
  ON_MESSAGE(WM_APP + 1, OnPrivate)
END_MESSAGE_MAP()

HWND CreateControl(HWND parent, const char* cls, int id) {
  return CreateWindowExA(0, cls, "", WS_CHILD | WS_VISIBLE, 0, 0, 100, 20, parent,
                         reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), nullptr, nullptr);
}

TEST_F(FrameworkTest, MessageMapsDispatchToTheMostDerivedEntryAndChainToTheirBases) {
  RegisterRecordingClass();
  CDerivedWnd wnd;
  ASSERT_TRUE(wnd.CreateEx(0, "Recording", "map", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr));
  HWND edit = CreateControl(wnd.m_hWnd, "Edit", 200);
  HWND track = CreateControl(wnd.m_hWnd, TRACKBAR_CLASSA, 7);
  g_calls.clear();

  wnd.SendMessage(WM_COMMAND, 100, 0);
  wnd.SendMessage(WM_COMMAND, MAKEWPARAM(200, EN_KILLFOCUS), reinterpret_cast<LPARAM>(edit));
  wnd.SendMessage(WM_COMMAND, MAKEWPARAM(200, EN_SETFOCUS), reinterpret_cast<LPARAM>(edit));
  wnd.SendMessage(WM_COMMAND, 301, 0);
  wnd.SendMessage(WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, 40), reinterpret_cast<LPARAM>(track));
  wnd.SendMessage(WM_HSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), 0);
  wnd.SendMessage(WM_VSCROLL, MAKEWPARAM(SB_PAGEUP, 0), 0);
  HELPINFO info{sizeof(HELPINFO), HELPINFO_WINDOW, 200, edit, 0, {0, 0}};
  EXPECT_EQ(wnd.SendMessage(WM_HELP, 0, reinterpret_cast<LPARAM>(&info)), TRUE);
  EXPECT_EQ(wnd.SendMessage(WM_APP + 1, 21, 0), 42);

  EXPECT_THAT(g_calls, ElementsAre("derived first", "base field left", "original WM_COMMAND", "range 301",
                                   "base scroll 5 40 7", "base scroll 1 0 none", "derived scroll",
                                   "original WM_VSCROLL", "help 200"));
  EXPECT_EQ(wnd.lastScrollBar, nullptr);
}

TEST_F(FrameworkTest, AScrollHandlerGetsAScrollBarObjectForWhateverControlSentIt) {
  RegisterRecordingClass();
  CBaseWnd wnd;
  ASSERT_TRUE(wnd.CreateEx(0, "Recording", "map", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr));
  HWND track = CreateControl(wnd.m_hWnd, TRACKBAR_CLASSA, 7);
  CWnd wrapper;  // a permanent object that is no scroll bar
  ASSERT_TRUE(wrapper.SubclassWindow(track));
  wnd.SendMessage(WM_HSCROLL, MAKEWPARAM(TB_LINEUP, 0), reinterpret_cast<LPARAM>(track));
  EXPECT_EQ(wnd.lastScrollBar, track) << "the same window, compared by handle";

  HWND bar = CreateControl(wnd.m_hWnd, "ScrollBar", 8);
  CScrollBar scrollBar;
  ASSERT_TRUE(scrollBar.SubclassWindow(bar));
  wnd.SendMessage(WM_HSCROLL, MAKEWPARAM(SB_LINEUP, 0), reinterpret_cast<LPARAM>(bar));
  EXPECT_EQ(wnd.lastScrollBar, bar);
}

TEST_F(FrameworkTest, CommandRoutingAnswersHandlerQueriesWithoutRunningTheHandler) {
  CDerivedWnd wnd;
  g_calls.clear();
  AFX_CMDHANDLERINFO info{nullptr, nullptr};
  EXPECT_TRUE(wnd.OnCmdMsg(200, EN_KILLFOCUS, nullptr, &info));
  EXPECT_EQ(info.pTarget, &wnd);
  EXPECT_NE(info.pmf, nullptr);
  EXPECT_TRUE(g_calls.empty());
  EXPECT_FALSE(wnd.OnCmdMsg(200, 0x0201, nullptr, nullptr)) << "no entry for that code";
  EXPECT_TRUE(wnd.OnCmdMsg(100, CN_COMMAND, nullptr, nullptr));
  EXPECT_THAT(g_calls, ElementsAre("derived first"));
}

// ---- Subclassing and creation ----------------------------------------------------------

class CWatchingWnd : public CWnd {
 public:
  BOOL PreCreateWindow(CREATESTRUCT& cs) override {
    events.push_back(std::string("PreCreateWindow ") + (cs.lpszClass != nullptr ? cs.lpszClass : "(none)"));
    BOOL result = CWnd::PreCreateWindow(cs);
    return refuseCreation ? FALSE : result;
  }
  void PreSubclassWindow() override {
    char name[64] = "";
    GetClassNameA(m_hWnd, name, sizeof name);
    events.push_back(std::string("PreSubclassWindow ") + name);
  }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_NCCREATE || message == WM_SETTEXT) events.push_back("message " + win::MessageName(message));
    if (message == WM_USER + 3) moduleDuringMessage = AfxGetModuleState();
    return CWnd::WindowProc(message, wParam, lParam);
  }
  void PostNcDestroy() override { events.push_back("PostNcDestroy"); }

  std::vector<std::string> events;
  bool refuseCreation = false;
  AFX_MODULE_STATE* moduleDuringMessage = nullptr;
};

TEST_F(FrameworkTest, CreateExAsksPreCreateWindowThenSeesEveryMessageOfTheNewWindow) {
  CWatchingWnd wnd;
  ASSERT_TRUE(wnd.CreateEx(0, "Edit", "x", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr));
  EXPECT_THAT(wnd.events, ElementsAre("PreCreateWindow Edit", "PreSubclassWindow Edit", "message WM_NCCREATE"));
  EXPECT_EQ(CWnd::FromHandlePermanent(wnd.m_hWnd), &wnd);
  wnd.SetWindowText("typed");
  EXPECT_EQ(TextOf(wnd.m_hWnd), "typed") << "the edit's own procedure still runs";

  HWND hWnd = wnd.m_hWnd;
  wnd.events.clear();
  ASSERT_TRUE(wnd.DestroyWindow());
  EXPECT_EQ(wnd.m_hWnd, nullptr) << "detached at WM_NCDESTROY";
  EXPECT_EQ(CWnd::FromHandlePermanent(hWnd), nullptr);
  EXPECT_THAT(wnd.events, ElementsAre("PostNcDestroy"));

  CWatchingWnd refused;
  refused.refuseCreation = true;
  EXPECT_FALSE(refused.CreateEx(0, "Edit", "x", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr));
  EXPECT_THAT(refused.events, ElementsAre("PreCreateWindow Edit", "PostNcDestroy"));
  EXPECT_EQ(refused.m_hWnd, nullptr);
}

TEST_F(FrameworkTest, SubclassingADialogItemCallsPreSubclassWindowAndRoutesItsMessages) {
  HWND hDlg = CreateDialogParamA(state->m_hCurrentInstanceHandle, MAKEINTRESOURCEA(kDialogId), nullptr,
                                 [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
  ASSERT_NE(hDlg, nullptr);
  CWnd* dialog = CWnd::FromHandle(hDlg);
  CWatchingWnd slider;
  ASSERT_TRUE(slider.SubclassDlgItem(kFirstSlider, dialog));
  EXPECT_THAT(slider.events, ElementsAre("PreSubclassWindow msctls_trackbar32"));
  EXPECT_EQ(slider.GetDlgCtrlID(), kFirstSlider);
  EXPECT_EQ(SendMessageA(slider.m_hWnd, TBM_GETRANGEMAX, 0, 0), 100) << "the trackbar answers through the framework";

  CWatchingWnd second;
  EXPECT_FALSE(second.SubclassDlgItem(kFirstSlider, dialog)) << "a window has one object";
  EXPECT_FALSE(second.SubclassDlgItem(4242, dialog));
  EXPECT_FALSE(slider.SubclassDlgItem(kSecondSlider, dialog)) << "an object has one window";

  DestroyWindow(hDlg);
  EXPECT_EQ(slider.m_hWnd, nullptr);
  EXPECT_TRUE(second.SubclassWindow(nullptr) == FALSE);
}

TEST_F(FrameworkTest, TheFrameworkWindowProcedureMakesTheOwningModuleCurrent) {
  CWatchingWnd wnd;  // made while the test module is current
  ASSERT_TRUE(wnd.CreateEx(0, "Static", "x", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr));
  AFX_MODULE_STATE other("other-module");
  {
    AFX_MANAGE_STATE(&other);
    wnd.SendMessage(WM_USER + 3);
    EXPECT_EQ(AfxGetModuleState(), &other) << "put back after the message";
  }
  EXPECT_EQ(wnd.moduleDuringMessage, state.get());
}

// ---- Exceptions and allocation -----------------------------------------------------------

class CThrowingWnd : public CWnd {
 public:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_USER + 1) AfxThrowNotSupportedException();
    if (message == WM_USER + 2) AfxThrowUserException();
    if (message == WM_USER + 3) throw std::runtime_error("host failure");
    return CWnd::WindowProc(message, wParam, lParam);
  }
};

TEST_F(FrameworkTest, FrameworkExceptionsEscapingAHandlerAreReportedOthersPassOn) {
  CThrowingWnd wnd;
  ASSERT_TRUE(wnd.CreateEx(0, "Static", "x", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr));
  EXPECT_EQ(wnd.SendMessage(WM_USER + 1), 0);
  ASSERT_EQ(headless.MessageBoxes().size(), 1u);
  EXPECT_EQ(headless.MessageBoxes()[0].text, "An unsupported operation was attempted.");
  EXPECT_EQ(headless.MessageBoxes()[0].caption, kTestAppTitle);
  EXPECT_EQ(headless.MessageBoxes()[0].style, static_cast<UINT>(MB_ICONSTOP));

  wnd.SendMessage(WM_USER + 2);
  EXPECT_EQ(headless.MessageBoxes().size(), 1u) << "the user has been told already";
  EXPECT_THROW(wnd.SendMessage(WM_USER + 3), std::runtime_error);
}

class CCountedException : public CException {
 public:
  explicit CCountedException(int* destroyed) : m_destroyed(destroyed) {}
  ~CCountedException() override { ++*m_destroyed; }
  BOOL GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext) override {
    lstrcpynA(lpszError, "counted", static_cast<int>(nMaxError));
    if (pnHelpContext != nullptr) *pnHelpContext = 0;
    return TRUE;
  }
  int* m_destroyed;
};

TEST_F(FrameworkTest, ExceptionsReportTheirOwnMessageAndDeleteFreesOnlyWhatWasAllocated) {
  int destroyed = 0;
  CException* e = new CCountedException(&destroyed);
  EXPECT_EQ(e->ReportError(MB_OKCANCEL), IDOK);
  EXPECT_EQ(headless.MessageBoxes().back().text, "counted");
  EXPECT_EQ(headless.MessageBoxes().back().style, static_cast<UINT>(MB_OKCANCEL | MB_ICONEXCLAMATION))
      << "a box without an icon gets the exclamation mark";
  e->Delete();
  EXPECT_EQ(destroyed, 1);

  CException plain;  // no message of its own
  plain.ReportError(MB_OK, 0);
  EXPECT_EQ(headless.MessageBoxes().back().text, "An error occurred; no message is available for it.");

  CMemoryException* first = nullptr;
  CMemoryException* second = nullptr;
  try {
    AfxThrowMemoryException();
  } catch (CMemoryException* caught) {
    first = caught;
    caught->Delete();
  }
  try {
    AfxThrowMemoryException();
  } catch (CException* caught) {
    second = dynamic_cast<CMemoryException*>(caught);
    EXPECT_EQ(caught->ReportError(MB_OK, 0), IDOK);
    caught->Delete();
  }
  EXPECT_EQ(first, second) << "one static object, never freed";
  EXPECT_EQ(headless.MessageBoxes().back().text, "Out of memory.");
  EXPECT_EQ(headless.MessageBoxes().back().caption, kTestAppTitle);
}

BOOL FailLargeAllocations(std::size_t nSize, BOOL, LONG) { return nSize < 4096; }

TEST_F(FrameworkTest, TheFrameworkAllocatorReportsExhaustionWithItsMemoryException) {
  AFX_ALLOC_HOOK previousHook = AfxSetAllocHook(FailLargeAllocations);
  struct Restore {
    AFX_ALLOC_HOOK hook;
    ~Restore() { AfxSetAllocHook(hook); }
  } restore{previousHook};

  int* small = new (afxNew) int(5);
  EXPECT_EQ(*small, 5);
  delete small;
  EXPECT_THROW(delete[] new (afxNew) char[8192], CMemoryException*);
  CString text("short");
  EXPECT_THROW(text += CString('x', 10000), CMemoryException*);
  EXPECT_EQ(text, "short") << "a failed append leaves the string as it was";
}

// ---- Temporary objects --------------------------------------------------------------------

TEST_F(FrameworkTest, TemporaryObjectsStandInForWindowsWithoutOneUntilReleased) {
  HWND top = CreateTopLevel();
  CWnd* temporary = CWnd::FromHandle(top);
  ASSERT_NE(temporary, nullptr);
  EXPECT_EQ(temporary->m_hWnd, top);
  EXPECT_EQ(CWnd::FromHandle(top), temporary) << "one per window";
  EXPECT_EQ(CWnd::FromHandlePermanent(top), nullptr);
  EXPECT_EQ(CWnd::FromHandle(nullptr), nullptr);

  CWnd permanent;
  ASSERT_TRUE(permanent.Attach(top));
  EXPECT_EQ(CWnd::FromHandle(top), &permanent);
  EXPECT_EQ(permanent.Detach(), top);
  AfxReleaseTempMaps();
  EXPECT_TRUE(IsWindow(top)) << "a temporary object never destroys its window";
}

// ---- Common-control wrappers -------------------------------------------------------------

TEST_F(FrameworkTest, SliderAndSpinWrappersSendTheMessagesOfTheOriginal) {
  HWND top = CreateTopLevel();
  CSliderCtrl slider;
  ASSERT_TRUE(slider.Create(WS_VISIBLE | TBS_BOTH, RECT{0, 0, 100, 20}, CWnd::FromHandle(top), 9));
  win::MessageSpy spy;
  slider.SetRange(1, 1000, TRUE);
  slider.SetPos(2500);
  EXPECT_THAT(spy.To(slider.m_hWnd), ElementsAre(win::Sent(slider.m_hWnd, TBM_SETRANGEMIN, FALSE, 1),
                                                 win::Sent(slider.m_hWnd, TBM_SETRANGEMAX, TRUE, 1000),
                                                 win::Sent(slider.m_hWnd, TBM_SETPOS, TRUE, 2500)));
  EXPECT_EQ(slider.GetPos(), 1000);
  EXPECT_EQ(slider.SetPageSize(50), 199);

  CSpinButtonCtrl spin;
  ASSERT_TRUE(spin.Create(WS_VISIBLE, RECT{0, 30, 16, 50}, CWnd::FromHandle(top), 10));
  spin.SetRange(-5, 300);
  int lower = 0, upper = 0;
  spin.GetRange(lower, upper);
  EXPECT_EQ(std::make_pair(lower, upper), std::make_pair(-5, 300));
  spin.SetPos(-1);
  EXPECT_EQ(spin.GetPos(), -1);
}

}  // namespace
