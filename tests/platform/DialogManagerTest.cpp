// Dialog templates, the modal loop, the dialog manager's keyboard
// interface, the headless presentation, message boxes and string resources.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "PlatformTestSupport.h"

using namespace platform_test;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

// What the test dialog's procedure saw.
struct DialogLog {
  std::vector<std::pair<WORD, WORD>> commands;  // (identifier, code)
  std::vector<std::pair<WORD, HWND>> scrolls;   // (code, control)
  std::vector<HELPINFO> help;
  std::vector<int> focusAtKillFocus;  // the control that had just gained the focus
  bool endOnCancel = true;
};
DialogLog g_log;

INT_PTR CALLBACK TestDialogProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG:
      SetDlgItemTextA(hDlg, kFirstEdit, "abc");
      return TRUE;
    case WM_COMMAND:
      // Field edits and focus arrivals are not what these tests look at.
      if (HIWORD(wParam) != EN_UPDATE && HIWORD(wParam) != EN_CHANGE && HIWORD(wParam) != EN_SETFOCUS) {
        g_log.commands.emplace_back(LOWORD(wParam), HIWORD(wParam));
      }
      if (HIWORD(wParam) == EN_KILLFOCUS) g_log.focusAtKillFocus.push_back(GetDlgCtrlID(GetFocus()));
      if (LOWORD(wParam) == IDOK || (LOWORD(wParam) == IDCANCEL && g_log.endOnCancel)) {
        EndDialog(hDlg, LOWORD(wParam));
      }
      return TRUE;
    case WM_HSCROLL:
      g_log.scrolls.emplace_back(LOWORD(wParam), reinterpret_cast<HWND>(lParam));
      return TRUE;
    case WM_HELP:
      g_log.help.push_back(*reinterpret_cast<HELPINFO*>(lParam));
      return TRUE;
    default:
      return FALSE;
  }
}

class DialogManagerTest : public PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    g_log = DialogLog{};
  }

  INT_PTR RunModal(HWND owner = nullptr) {
    return DialogBoxParamA(module(), MAKEINTRESOURCEA(kDialogId), owner, TestDialogProc, 0);
  }

  // A script step that records which control has the focus.
  void NoteFocus() {
    headless.Do([this] { focusIds.push_back(GetDlgCtrlID(GetFocus())); });
  }

  std::vector<int> focusIds;
};

// ---- Templates ------------------------------------------------------------------------

TEST(DialogTemplate, BuilderWritesTheStandardBinaryLayout) {
  win::DialogTemplateBuilder dialog(WS_POPUP | DS_MODALFRAME, 1, 2, 30, 40);
  dialog.Caption("Hi").Font(8, "A").Control(7, win::kEditClassOrdinal, "", 0x50810000, 5, 6, 7, 8);
  std::vector<BYTE> bytes = dialog.Build();
  const std::vector<BYTE> expected = {
      0xC0, 0x00, 0x00, 0x80,  // style: DS_SETFONT | DS_MODALFRAME | WS_POPUP
      0x00, 0x00, 0x00, 0x00,  // extended style
      0x01, 0x00,              // one control
      0x01, 0x00, 0x02, 0x00, 0x1E, 0x00, 0x28, 0x00,  // x, y, cx, cy
      0x00, 0x00,                                      // no menu
      0x00, 0x00,                                      // the predefined dialog class
      'H', 0x00, 'i', 0x00, 0x00, 0x00,                // caption
      0x08, 0x00, 'A', 0x00, 0x00, 0x00,               // 8 points, "A"
      0x00, 0x00,                                      // padding to a DWORD boundary
      0x00, 0x00, 0x81, 0x50,                          // control style
      0x00, 0x00, 0x00, 0x00,                          // extended style
      0x05, 0x00, 0x06, 0x00, 0x07, 0x00, 0x08, 0x00,  // x, y, cx, cy
      0x07, 0x00,                                      // identifier
      0xFF, 0xFF, 0x81, 0x00,                          // class: the edit ordinal
      0x00, 0x00,                                      // empty text
      0x00, 0x00,                                      // no creation data
  };
  EXPECT_THAT(bytes, ElementsAreArray(expected));
}

TEST(DialogTemplate, ParsingReadsBackWhatWasBuiltAndRefusesOtherFormats) {
  std::vector<BYTE> bytes = TwoFieldDialog().Build();
  win::DialogTemplateInfo info;
  ASSERT_TRUE(win::ParseDialogTemplate(bytes.data(), bytes.size(), &info));
  EXPECT_EQ(info.caption, "Two Fields");
  EXPECT_EQ(info.typeface, "MS Sans Serif");
  EXPECT_EQ(info.pointSize, 8);
  ASSERT_EQ(info.items.size(), 9u);
  EXPECT_EQ(info.items[0].className, "Static");
  EXPECT_EQ(info.items[0].text, "First &value:");
  EXPECT_EQ(info.items[0].id, 0xFFFF);
  EXPECT_EQ(info.items[2].className, TRACKBAR_CLASSA);
  EXPECT_EQ(info.items[6].style, 0x50010001u);
  EXPECT_EQ(info.items[8].cx, 50);

  EXPECT_FALSE(win::ParseDialogTemplate(bytes.data(), bytes.size() - 3, &info)) << "truncated";
  std::vector<BYTE> extended = {0x01, 0x00, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_FALSE(win::ParseDialogTemplate(extended.data(), extended.size(), &info));
}

TEST_F(DialogManagerTest, DialogLaysItsControlsOutInDialogUnitsOfItsFont) {
  HWND hDlg = CreateDialogParamA(module(), MAKEINTRESOURCEA(kDialogId), nullptr, TestDialogProc, 0);
  ASSERT_NE(hDlg, nullptr);
  EXPECT_EQ(TextOf(hDlg), "Two Fields");
  std::vector<HWND> children = win::ChildWindows(hDlg);
  ASSERT_EQ(children.size(), 9u);
  EXPECT_EQ(GetDlgCtrlID(children[1]), kFirstEdit);
  EXPECT_EQ(GetDlgItem(hDlg, kFirstEdit), children[1]);

  win::WindowView dialog, edit, ok;
  ASSERT_TRUE(win::DescribeWindow(hDlg, &dialog));
  ASSERT_TRUE(win::DescribeWindow(children[1], &edit));
  ASSERT_TRUE(win::DescribeWindow(children[6], &ok));
  EXPECT_EQ(dialog.dialog.baseUnitX, 6);
  EXPECT_EQ(dialog.dialog.baseUnitY, 13);
  EXPECT_EQ(dialog.dialog.defaultId, IDOK) << "from the BS_DEFPUSHBUTTON control";
  EXPECT_EQ(edit.kind, win::ControlKind::Edit);
  EXPECT_EQ(edit.dialogUnits.left, 61);
  EXPECT_EQ(edit.dialogUnits.right, 91);
  // 61, 7, 30, 12 dialog units: x * 6 / 4 and y * 13 / 8 pixels, rounded.
  EXPECT_EQ(edit.windowRect.left - dialog.clientRect.left, 92);
  EXPECT_EQ(edit.windowRect.top - dialog.clientRect.top, 11);
  EXPECT_EQ(edit.windowRect.right - edit.windowRect.left, 45);
  EXPECT_EQ(edit.windowRect.bottom - edit.windowRect.top, 20);
  EXPECT_EQ(dialog.clientRect.right - dialog.clientRect.left, 267);
  EXPECT_EQ(edit.text, "abc");
  EXPECT_TRUE(edit.focused) << "WM_INITDIALOG answered TRUE";
  EXPECT_EQ(edit.edit.selStart, 0);
  EXPECT_EQ(edit.edit.selEnd, 3) << "the text is selected";
  EXPECT_TRUE(ok.button.isDefault);
}

TEST_F(DialogManagerTest, ADialogWithAnUnknownControlClassIsNotCreated) {
  win::DialogTemplateBuilder broken(WS_POPUP, 0, 0, 50, 50);
  broken.Control(5, "NoSuchClass", "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10);
  win::AddDialogResource(module(), 7, broken);
  EXPECT_EQ(DialogBoxParamA(module(), MAKEINTRESOURCEA(7), nullptr, TestDialogProc, 0), -1);
  EXPECT_TRUE(win::TopLevelWindows().empty()) << "the partly built dialog is gone";
  EXPECT_EQ(DialogBoxParamA(module(), MAKEINTRESOURCEA(8), nullptr, TestDialogProc, 0), -1) << "no such template";
}

// ---- The modal loop and the keyboard ----------------------------------------------------

TEST_F(DialogManagerTest, TabAndShiftTabVisitTheTabStopsInTemplateOrder) {
  NoteFocus();
  for (int i = 0; i < 7; ++i) {
    headless.Press(VK_TAB);
    NoteFocus();
  }
  headless.Press(VK_TAB, win::kShift);
  NoteFocus();
  headless.Press(VK_ESCAPE);
  EXPECT_EQ(RunModal(), IDCANCEL);
  EXPECT_THAT(focusIds, ElementsAre(kFirstEdit, kFirstSlider, kSecondEdit, kSecondSlider, IDOK, IDCANCEL,
                                    kHelpButton, kFirstEdit, kHelpButton));
}

TEST_F(DialogManagerTest, TypingAfterTheDialogManagerFocusesAnEditReplacesItsText) {
  headless.Type("12").Press(VK_TAB).Press(VK_TAB).Type("7");
  headless.Do([] {
    HWND hDlg = GetActiveWindow();
    EXPECT_EQ(TextOf(GetDlgItem(hDlg, kFirstEdit)), "12");
    EXPECT_EQ(TextOf(GetDlgItem(hDlg, kSecondEdit)), "7");
  });
  headless.Press(VK_RETURN);
  EXPECT_EQ(RunModal(), IDOK) << "Enter in an edit presses the default button";
  EXPECT_TRUE(headless.ScriptErrors().empty());
}

TEST_F(DialogManagerTest, EnterPressesTheFocusedPushButtonOrElseTheDefault) {
  headless.Press(VK_TAB, win::kShift).Press(VK_RETURN);  // Help
  headless.Press(VK_TAB, win::kShift).Press(VK_RETURN);  // Cancel
  EXPECT_EQ(RunModal(), IDCANCEL);
  EXPECT_THAT(g_log.commands, ElementsAre(std::make_pair(WORD{kFirstEdit}, WORD{EN_KILLFOCUS}),
                                          std::make_pair(WORD{kHelpButton}, WORD{BN_CLICKED}),
                                          std::make_pair(WORD{IDCANCEL}, WORD{BN_CLICKED})));
}

TEST_F(DialogManagerTest, EscapeDoesNotPressADisabledCancel) {
  std::vector<std::pair<WORD, WORD>> commandsWhileDisabled;
  headless.Do([] { EnableWindow(GetDlgItem(GetActiveWindow(), IDCANCEL), FALSE); }).Press(VK_ESCAPE);
  headless.Do([&] {
    commandsWhileDisabled = g_log.commands;
    EnableWindow(GetDlgItem(GetActiveWindow(), IDCANCEL), TRUE);
  });
  headless.Press(VK_ESCAPE);
  EXPECT_EQ(RunModal(), IDCANCEL);
  EXPECT_TRUE(commandsWhileDisabled.empty()) << "Esc with Cancel disabled sends no command";
  EXPECT_EQ(headless.BeepCount(), 1) << "it beeps instead";
  ASSERT_FALSE(g_log.commands.empty());
  EXPECT_EQ(g_log.commands.front(), std::make_pair(WORD{IDCANCEL}, WORD{BN_CLICKED})) << "the second Esc pressed it";
  EXPECT_TRUE(headless.ClosedOnExhaustion().empty());
}

TEST_F(DialogManagerTest, MnemonicsMoveToTheControlAfterTheLabel) {
  headless.Do([] { SetDlgItemTextA(GetActiveWindow(), kSecondEdit, "55"); });
  headless.Press('S', win::kAlt);
  NoteFocus();
  headless.Type("9");
  headless.Do([] { EXPECT_EQ(TextOf(GetDlgItem(GetActiveWindow(), kSecondEdit)), "9") << "its text was selected"; });
  headless.Press(VK_TAB).Press(VK_TAB);  // OK
  headless.Type("v");                    // a plain letter: the focus takes no characters
  NoteFocus();
  headless.Press(VK_ESCAPE);
  EXPECT_EQ(RunModal(), IDCANCEL);
  EXPECT_THAT(focusIds, ElementsAre(kSecondEdit, kFirstEdit));
}

TEST_F(DialogManagerTest, ArrowAndPageKeysGoToTheFocusedTrackbar) {
  headless.Press(VK_TAB).Press(VK_RIGHT).Press(VK_NEXT).Press(VK_HOME).Press(VK_END).Press(VK_ESCAPE);
  EXPECT_EQ(RunModal(), IDCANCEL);
  std::vector<WORD> codes;
  for (const auto& scroll : g_log.scrolls) {
    if (scroll.first != TB_ENDTRACK) codes.push_back(scroll.first);
  }
  EXPECT_THAT(codes, ElementsAre(TB_LINEDOWN, TB_PAGEDOWN, TB_TOP, TB_BOTTOM));
}

TEST_F(DialogManagerTest, F1SendsHelpAboutTheFocusedControlToTheDialog) {
  headless.Press(VK_F1).Press(VK_ESCAPE);
  EXPECT_EQ(RunModal(), IDCANCEL);
  ASSERT_EQ(g_log.help.size(), 1u);
  EXPECT_EQ(g_log.help[0].cbSize, sizeof(HELPINFO));
  EXPECT_EQ(g_log.help[0].iContextType, HELPINFO_WINDOW);
  EXPECT_EQ(g_log.help[0].iCtrlId, kFirstEdit);
}

TEST_F(DialogManagerTest, ClickingOkMovesTheFocusThereBeforeTheCommand) {
  headless.Click(IDOK);
  EXPECT_EQ(RunModal(), IDOK);
  EXPECT_THAT(g_log.commands, ElementsAre(std::make_pair(WORD{kFirstEdit}, WORD{EN_KILLFOCUS}),
                                          std::make_pair(WORD{IDOK}, WORD{BN_CLICKED})));
  EXPECT_THAT(g_log.focusAtKillFocus, ElementsAre(IDOK));
}

TEST_F(DialogManagerTest, AnExhaustedScriptClosesTheDialogAsTheUserWould) {
  EXPECT_EQ(RunModal(), IDCANCEL);
  EXPECT_THAT(headless.ClosedOnExhaustion(), ElementsAre("Two Fields"));
  // The field loses the focus only as the dialog goes away.
  EXPECT_THAT(g_log.commands, ElementsAre(std::make_pair(WORD{IDCANCEL}, WORD{BN_CLICKED}),
                                          std::make_pair(WORD{kFirstEdit}, WORD{EN_KILLFOCUS})));
}

TEST_F(DialogManagerTest, ADialogThatWillNotCloseEndsWithMinusOneInsteadOfBlocking) {
  g_log.endOnCancel = false;
  EXPECT_EQ(RunModal(), -1);
  EXPECT_TRUE(win::TopLevelWindows().empty());
}

TEST_F(DialogManagerTest, TheOwnerIsDisabledWhileTheDialogRunsAndGetsTheFocusBack) {
  HWND owner = CreateTopLevel("owner");
  SetFocus(owner);
  headless.Do([owner] { EXPECT_FALSE(IsWindowEnabled(owner)); });
  EXPECT_EQ(RunModal(owner), IDCANCEL);
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_EQ(GetFocus(), owner);
  EXPECT_EQ(GetActiveWindow(), owner);
}

TEST_F(DialogManagerTest, AQuitRequestEndsTheDialogAndStaysForTheOuterLoop) {
  headless.Do([] { PostQuitMessage(3); });
  EXPECT_EQ(RunModal(), -1);
  MSG msg;
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
  EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(DialogManagerTest, ScriptStepsThatFindNothingAreReportedAndSkipped) {
  headless.Click(4242).Press(VK_ESCAPE);
  EXPECT_EQ(RunModal(), IDCANCEL);
  EXPECT_THAT(headless.ScriptErrors(), ElementsAre("no control 4242 in the active window"));
}

// ---- Message boxes and strings -----------------------------------------------------------

TEST_F(DialogManagerTest, MessageBoxesAreAnsweredFromTheScriptOrWithTheirDefaultButton) {
  headless.AnswerMessageBox(IDRETRY);
  EXPECT_EQ(MessageBoxA(nullptr, "again?", "Title", MB_RETRYCANCEL), IDRETRY);
  EXPECT_EQ(MessageBoxA(nullptr, "sure?", "Title", MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION), IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "done", nullptr, MB_OK), IDOK);
  ASSERT_EQ(headless.MessageBoxes().size(), 3u);
  EXPECT_EQ(headless.MessageBoxes()[1].text, "sure?");
  EXPECT_EQ(headless.MessageBoxes()[1].style, static_cast<UINT>(MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION));
  EXPECT_EQ(headless.MessageBoxes()[2].caption, "Error") << "a box without a caption";
}

TEST_F(DialogManagerTest, StringResourcesLoadByIdentifierAndAreCutToTheBuffer) {
  win::AddStringResource(module(), 57344, "Total \xC3\xA9");
  win::AddStringResource(module(), 57345, "Other");
  char buffer[64];
  EXPECT_EQ(LoadStringA(module(), 57344, buffer, sizeof buffer), 8);
  EXPECT_STREQ(buffer, "Total \xC3\xA9");
  EXPECT_EQ(LoadStringA(module(), 57345, buffer, 3), 2);
  EXPECT_STREQ(buffer, "Ot");
  EXPECT_EQ(LoadStringA(module(), 57344, buffer, 8), 6) << "a character is never cut in two";
  EXPECT_EQ(LoadStringA(module(), 57346, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(GetModuleHandleA("PLATFORM-TEST"), module());
  EXPECT_NE(FindResourceA(module(), "#130", RT_DIALOG), nullptr);
}

}  // namespace
