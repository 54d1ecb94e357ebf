// Windows, classes, messages and the queue, focus, destruction, hooks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "PlatformTestSupport.h"

using namespace platform_test;
using ::testing::ElementsAre;
using win::Delivery;

namespace {

class WindowTest : public PlatformTest {};

// A window procedure that answers 42 to WM_USER and remembers what the
// focus was whenever a control notification arrived.
std::vector<std::pair<WORD, HWND>> g_focusAtNotification;

LRESULT CALLBACK AnsweringProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_USER) return 42;
  if (msg == WM_COMMAND && lParam != 0) g_focusAtNotification.emplace_back(HIWORD(wParam), GetFocus());
  return DefWindowProcA(hWnd, msg, wParam, lParam);
}

void RegisterAnswering() {
  WNDCLASSA wc{};
  if (GetClassInfoA(nullptr, "Answering", &wc)) return;
  wc.lpfnWndProc = AnsweringProc;
  wc.lpszClassName = "Answering";
  ASSERT_NE(RegisterClassA(&wc), 0);
}

HWND CreateAnswering() {
  RegisterAnswering();
  return CreateWindowExA(0, "Answering", "parent", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200, nullptr, nullptr, nullptr,
                         nullptr);
}

HWND CreateChild(HWND parent, const char* cls, int id, DWORD style = WS_VISIBLE | WS_TABSTOP) {
  return CreateWindowExA(0, cls, "", WS_CHILD | style, 10, 10 + 30 * id, 80, 20, parent,
                         reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), nullptr, nullptr);
}

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

TEST_F(WindowTest, ClassNamesAreFoundWithoutRegardToCaseAndReadBackAsRegistered) {
  RegisterAnswering();
  HWND hWnd = CreateWindowExA(0, "ANSWERING", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(hWnd, nullptr);
  char name[64];
  EXPECT_EQ(GetClassNameA(hWnd, name, sizeof name), 9);
  EXPECT_STREQ(name, "Answering");

  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "answering";
  EXPECT_EQ(RegisterClassA(&wc), 0) << "a second class of the same name";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
  EXPECT_FALSE(UnregisterClassA("Answering", nullptr)) << "the class still has a window";
}

TEST_F(WindowTest, GetClassNameCopiesAtMostSizeMinusOneCharactersAndFailsWithZero) {
  std::string longName(70, 'x');
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = longName.c_str();
  ASSERT_NE(RegisterClassA(&wc), 0);
  HWND hWnd = CreateWindowExA(0, longName.c_str(), "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);

  char name[64];
  std::memset(name, '?', sizeof name);
  EXPECT_EQ(GetClassNameA(hWnd, name, 64), 63);
  EXPECT_EQ(std::string(name), std::string(63, 'x'));
  EXPECT_EQ(GetClassNameA(hWnd, name, 4), 3);
  EXPECT_STREQ(name, "xxx");
  EXPECT_EQ(GetClassNameA(hWnd, name, 0), 0);
  EXPECT_EQ(GetClassNameA(nullptr, name, 64), 0);
  DestroyWindow(hWnd);
  EXPECT_EQ(GetClassNameA(hWnd, name, 64), 0) << "a destroyed window";
}

TEST_F(WindowTest, CompareWithoutCase) {
  EXPECT_EQ(lstrcmpiA("ScrollBar", "SCROLLBAR"), 0);
  EXPECT_EQ(lstrcmpiA("msctls_trackbar32", "MSCTLS_TRACKBAR32"), 0);
  EXPECT_LT(lstrcmpiA("msctls_trackbar", "msctls_trackbar32"), 0);
  EXPECT_GT(lstrcmpiA("b", "A"), 0);
}

TEST_F(WindowTest, SentMessagesReturnTheAnswerAtOncePostedOnesWaitInTheQueue) {
  HWND hWnd = CreateAnswering();
  win::MessageSpy spy;
  EXPECT_EQ(SendMessageA(hWnd, WM_USER, 1, 2), 42);
  EXPECT_TRUE(PostMessageA(hWnd, WM_USER + 5, 3, 4));
  EXPECT_TRUE(PostMessageA(hWnd, WM_USER + 6, 5, 6));
  EXPECT_THAT(spy.Records(), ElementsAre(win::Sent(hWnd, WM_USER, 1, 2), win::Posted(hWnd, WM_USER + 5, 3, 4),
                                         win::Posted(hWnd, WM_USER + 6, 5, 6)));
  spy.Clear();
  MSG msg;
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 5)) << "first in, first out";
  DispatchMessageA(&msg);
  EXPECT_EQ(spy.Count(hWnd, WM_USER + 5, Delivery::Dispatched), 1);
  EXPECT_EQ(SendMessageA(nullptr, WM_USER, 0, 0), 0) << "no window, no answer";
  EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(0x7777), WM_USER, 0, 0));
}

TEST_F(WindowTest, PostedMessagesComeBeforeInputThatWasQueuedEarlier) {
  HWND hWnd = CreateAnswering();
  SetFocus(hWnd);
  win::PostKeyInput('A', true);
  PostMessageA(hWnd, WM_USER + 1, 0, 0);
  MSG msg;
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_KEYDOWN));
  EXPECT_EQ(msg.hwnd, hWnd) << "keys go to the focus";
}

TEST_F(WindowTest, GetMessageReportsQuitAndNeverBlocksWhenNoInputCanCome) {
  MSG msg;
  PostQuitMessage(7);
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), -1) << "no window to close, no script";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_INPUT));
}

TEST_F(WindowTest, KeysTranslateIntoCharactersOfAUsKeyboard) {
  HWND hWnd = CreateAnswering();
  SetFocus(hWnd);
  win::PostCharInput('A');
  win::PostCharInput('%');
  win::PostKeyInput('V', true, win::kAlt);
  win::MessageSpy spy;
  Pump();
  std::vector<WPARAM> chars;
  for (const auto& record : spy.To(hWnd, Delivery::Dispatched)) {
    if (record.message == WM_CHAR || record.message == WM_SYSCHAR) chars.push_back(record.wParam);
  }
  EXPECT_THAT(chars, ElementsAre('A', '%', 'v'));
  EXPECT_EQ(spy.Count(hWnd, WM_SYSCHAR, Delivery::Dispatched), 1);
}

TEST_F(WindowTest, FocusChangeSendsKillFocusThenSetFocusAndEditsNotifyTheirParent) {
  HWND parent = CreateAnswering();
  HWND first = CreateChild(parent, "Edit", 11);
  HWND second = CreateChild(parent, "Edit", 12);
  SetFocus(first);
  g_focusAtNotification.clear();
  win::MessageSpy spy;

  EXPECT_EQ(SetFocus(second), first);

  EXPECT_THAT(spy.Records(),
              ElementsAre(win::Sent(first, WM_KILLFOCUS, reinterpret_cast<WPARAM>(second), 0),
                          win::Sent(parent, WM_COMMAND, MAKEWPARAM(11, EN_KILLFOCUS), reinterpret_cast<LPARAM>(first)),
                          win::Sent(second, WM_SETFOCUS, reinterpret_cast<WPARAM>(first), 0),
                          win::Sent(parent, WM_COMMAND, MAKEWPARAM(12, EN_SETFOCUS),
                                    reinterpret_cast<LPARAM>(second))));
  // While the losing edit reports, the focus already names the new window.
  ASSERT_EQ(g_focusAtNotification.size(), 2u);
  EXPECT_EQ(g_focusAtNotification[0], std::make_pair(static_cast<WORD>(EN_KILLFOCUS), second));
  EXPECT_EQ(GetFocus(), second);

  spy.Clear();
  EXPECT_EQ(SetFocus(second), second);
  EXPECT_TRUE(spy.Records().empty()) << "no change, no messages";
  EXPECT_EQ(SetFocus(reinterpret_cast<HWND>(0x5555)), nullptr);
  EXPECT_EQ(GetFocus(), second);
}

TEST_F(WindowTest, DestructionTakesTheFocusAwayFirstThenDestroysParentBeforeChildren) {
  HWND parent = CreateAnswering();
  HWND child = CreateChild(parent, "Edit", 3);
  SetFocus(child);
  PostMessageA(child, WM_USER + 9, 0, 0);
  win::MessageSpy spy;

  EXPECT_TRUE(DestroyWindow(parent));

  std::vector<std::pair<HWND, UINT>> order;
  for (const auto& record : spy.Records()) {
    if (record.message == WM_KILLFOCUS || record.message == WM_DESTROY || record.message == WM_NCDESTROY) {
      order.emplace_back(record.hwnd, record.message);
    }
  }
  EXPECT_THAT(order, ElementsAre(std::make_pair(child, static_cast<UINT>(WM_KILLFOCUS)),
                                 std::make_pair(parent, static_cast<UINT>(WM_DESTROY)),
                                 std::make_pair(child, static_cast<UINT>(WM_DESTROY)),
                                 std::make_pair(child, static_cast<UINT>(WM_NCDESTROY)),
                                 std::make_pair(parent, static_cast<UINT>(WM_NCDESTROY))));
  EXPECT_FALSE(IsWindow(parent));
  EXPECT_FALSE(IsWindow(child));
  EXPECT_EQ(GetFocus(), nullptr);
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "messages for a destroyed window are dropped";
  EXPECT_FALSE(DestroyWindow(parent));
}

TEST_F(WindowTest, WindowTextIsCutToTheBufferAndChildrenAreFoundByIdentifier) {
  HWND parent = CreateAnswering();
  HWND child = CreateChild(parent, "Static", 5);
  SetWindowTextA(child, "abcdef");
  char buffer[4];
  EXPECT_EQ(GetWindowTextA(child, buffer, sizeof buffer), 3);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(GetWindowTextLengthA(child), 6);
  EXPECT_EQ(GetDlgItem(parent, 5), child);
  EXPECT_EQ(GetDlgItem(parent, 6), nullptr);
  EXPECT_EQ(GetParent(child), parent);
  EXPECT_EQ(GetDlgCtrlID(child), 5);
}

LRESULT CALLBACK RefusingHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    auto* cbt = reinterpret_cast<CBT_CREATEWNDA*>(lParam);
    if (IsWindow(reinterpret_cast<HWND>(wParam)) && std::strcmp(cbt->lpcs->lpszName, "refuse") == 0) {
      return 1;
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(WindowTest, CreationHookSeesTheWindowBeforeItsFirstMessageAndCanRefuseIt) {
  RegisterAnswering();
  HHOOK hook = SetWindowsHookExA(WH_CBT, RefusingHook, nullptr, 0);
  ASSERT_NE(hook, nullptr);
  win::MessageSpy spy;
  HWND refused = CreateWindowExA(0, "Answering", "refuse", WS_POPUP, 0, 0, 5, 5, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(refused, nullptr);
  EXPECT_TRUE(spy.Records().empty()) << "a refused window gets no message";
  HWND accepted = CreateWindowExA(0, "Answering", "ok", WS_POPUP, 0, 0, 5, 5, nullptr, nullptr, nullptr, nullptr);
  EXPECT_NE(accepted, nullptr);
  EXPECT_TRUE(UnhookWindowsHookEx(hook));
}

TEST_F(WindowTest, PointsFindTheDeepestEnabledChild) {
  HWND parent = CreateAnswering();
  HWND child = CreateChild(parent, "Static", 1);
  RECT rect;
  GetWindowRect(child, &rect);
  POINT inside{rect.left + 2, rect.top + 2};
  EXPECT_EQ(WindowFromPoint(inside), child);
  POINT client = inside;
  ScreenToClient(child, &client);
  EXPECT_EQ(client.x, 2);
  EXPECT_EQ(client.y, 2);
  EnableWindow(child, FALSE);
  EXPECT_EQ(WindowFromPoint(inside), parent) << "a disabled child lets the point through";
}

}  // namespace
