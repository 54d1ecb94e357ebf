// The terminal presentation driven through a scripted terminal: what a
// dialog looks like on the screen, and what keys and the mouse do to it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ParameterDialog.h"
#include "ScriptedTerminal.h"
#include "term/layout.h"
#include "term/terminal.h"
#include "win/spy.h"

using namespace term_test;
using win::term::CellRect;
using win::term::ControlPlace;
using win::term::Style;
using ::testing::Contains;
using ::testing::HasSubstr;

namespace {

class TerminalPresentationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_module = win::CreateModule("term-test");
    win::AddDialogResource(m_module, kDialogId, ParameterDialogTemplate());
  }
  void TearDown() override {
    // Every step ran: the checks in the script were reached.
    EXPECT_TRUE(terminal.ScriptDone());
    for (HWND hWnd : win::TopLevelWindows()) DestroyWindow(hWnd);
    win::DestroyModule(m_module);
  }

  INT_PTR Run() {
    win::PresentationScope scope(presentation);
    return RunParameterDialog(m_module, values, [this] { ++helpRequests; });
  }

  static HWND Control(int id) { return GetDlgItem(GetActiveWindow(), id); }
  const ControlPlace& Place(int id) const {
    const ControlPlace* place = presentation.Map().Find(Control(id));
    if (place == nullptr) throw std::runtime_error("control " + std::to_string(id) + " is not on the screen");
    return *place;
  }
  // The middle of a button's face, a cell of a trackbar's channel, ...
  std::function<CellPoint()> FaceOf(int id) const {
    return [this, id] {
      const CellRect face = Place(id).face;
      return CellPoint{face.x + face.width / 2, face.y};
    };
  }
  std::function<CellPoint()> TrackCell(int id, std::function<int()> cell) const {
    return [this, id, cell] { return CellPoint{Place(id).track.x + cell(), Place(id).track.y}; };
  }
  std::string FieldOnScreen(int id) const {
    const CellRect cells = Place(id).cells;
    return win::term::EncodeUtf8(
        win::term::DecodeUtf8(terminal.Row(cells.y)).substr(static_cast<std::size_t>(cells.x), static_cast<std::size_t>(cells.width)));
  }
  static std::pair<DWORD, DWORD> Selection(int id) {
    DWORD start = 0, end = 0;
    SendMessageA(Control(id), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return {start, end};
  }

  ScriptedTerminal terminal;
  win::TerminalPresentation presentation{terminal};
  ParameterValues values;
  int helpRequests = 0;

 private:
  HMODULE m_module = nullptr;
};

TEST_F(TerminalPresentationTest, DrawsTheDialogCentredWithItsTextsAndValues) {
  terminal
      .Do([&] {
        const win::term::Canvas& screen = terminal.Screen();
        const win::term::WindowPlace& window = presentation.Map().windows.at(0);
        EXPECT_EQ(window.frame.x, (80 - window.frame.width) / 2);
        EXPECT_EQ(window.frame.y, (23 - window.frame.height) / 2);
        EXPECT_THAT(terminal.Row(window.frame.y), HasSubstr(" Total Variation Denoise "));
        EXPECT_THAT(terminal.Row(window.frame.y), HasSubstr("[x]"));

        const int varianceRow = RowOf(screen, "Noise variance:");
        ASSERT_GE(varianceRow, 0) << terminal.Text();
        EXPECT_EQ(RowOf(screen, "&"), -1);
        // The mnemonic is underlined, nothing else on its row is.
        const int v = ColumnOf(screen, varianceRow, "Noise variance:") + 6;
        EXPECT_TRUE(screen.At(v, varianceRow).underline);
        EXPECT_FALSE(screen.At(v + 1, varianceRow).underline);
        EXPECT_EQ(FieldOnScreen(kFirstEdit), "[5     ]");
        EXPECT_EQ(FieldOnScreen(kSecondEdit), "[20    ]");
        EXPECT_EQ(RowOf(screen, "Iterations:"), Place(kSecondEdit).cells.y);
        const int buttons = RowOf(screen, "[< OK >]");
        EXPECT_GT(buttons, varianceRow);
        EXPECT_GT(ColumnOf(screen, buttons, "[ Cancel ]"), ColumnOf(screen, buttons, "[< OK >]"));
        EXPECT_GT(ColumnOf(screen, buttons, "[ Help ]"), ColumnOf(screen, buttons, "[ Cancel ]"));
        EXPECT_THAT(terminal.Row(23), HasSubstr("Esc: cancel"));

        // The focus is in the first field, its text selected, the caret
        // after it.
        const CellRect field = Place(kFirstEdit).cells;
        ASSERT_TRUE(terminal.Cursor().has_value());
        EXPECT_EQ(terminal.Cursor()->y, field.y);
        EXPECT_EQ(terminal.Cursor()->x, field.x + 2);
        EXPECT_EQ(screen.At(field.x + 1, field.y).style, Style::Selection);
        EXPECT_EQ(screen.At(field.x + 3, field.y).style, Style::FieldFocused);
        EXPECT_EQ(screen.At(Place(kSecondEdit).cells.x + 3, field.y + 2).style, Style::Field);
      })
      .Press(VK_ESCAPE);
  EXPECT_EQ(Run(), IDCANCEL);
}

TEST_F(TerminalPresentationTest, TypingAValueAndTabMoveTheThumb) {
  int thumbBefore = -1;
  terminal.Do([&] { thumbBefore = Place(kFirstSlider).thumbCell; })
      .Type("500")
      .Press(VK_TAB)
      .Do([&] {
        const ControlPlace& slider = Place(kFirstSlider);
        const int length = slider.track.width;
        EXPECT_EQ(thumbBefore, 0);
        EXPECT_EQ(slider.thumbCell, win::term::ThumbCell(500, 0, 1000, length));
        EXPECT_EQ(terminal.Screen().At(slider.track.x + slider.thumbCell, slider.track.y).ch, win::term::glyph::kThumb);
        EXPECT_EQ(terminal.Screen().At(slider.track.x, slider.track.y).ch, win::term::glyph::kHorizontal);
        EXPECT_EQ(FieldOnScreen(kFirstEdit), "[500   ]");
        // Tab went on to the slider: the cursor marks its thumb.
        EXPECT_EQ(terminal.Cursor()->x, slider.track.x + slider.thumbCell);
      })
      .Press(VK_ESCAPE);
  EXPECT_EQ(Run(), IDCANCEL);
}

TEST_F(TerminalPresentationTest, EnterConfirmsWhatWasTyped) {
  terminal.Press('I', win::kAlt).Type("300").Press(VK_RETURN);
  EXPECT_EQ(Run(), IDOK);
  EXPECT_EQ(values.first, 5);
  EXPECT_EQ(values.second, 300);
}

TEST_F(TerminalPresentationTest, EditingKeysWorkInAField) {
  // "20": End, Backspace, "5", Home, Delete, Left/Right moves -> "5", then "17" typed at the start.
  terminal.Press('I', win::kAlt)
      .Press(VK_END)
      .Press(VK_BACK)
      .Type("5")
      .Press(VK_HOME)
      .Press(VK_DELETE)
      .Press(VK_RIGHT)
      .Press(VK_LEFT)
      .Type("17")
      .Press(VK_RETURN);
  EXPECT_EQ(Run(), IDOK);
  EXPECT_EQ(values.second, 175);
}

TEST_F(TerminalPresentationTest, AValueOutOfRangeShowsABoxAndTheFocusComesBack) {
  terminal.Press('I', win::kAlt)
      .Type("2000")
      .Press(VK_TAB)
      .Do([&] {
        const win::term::Canvas& screen = terminal.Screen();
        const int textRow = RowOf(screen, "Enter a whole number from 1 to 1000.");
        ASSERT_GE(textRow, 0) << terminal.Text();
        EXPECT_GE(ColumnOf(screen, textRow, "(!)"), 0);
        EXPECT_GT(RowOf(screen, "[< OK >]"), textRow);
        // The box has the caption; the dialog behind it is not active.
        EXPECT_LT(RowOf(screen, " Total Variation Denoise "), textRow);
        const win::term::WindowPlace& dialog = presentation.Map().windows.at(0);
        EXPECT_EQ(screen.At(dialog.frame.x, dialog.frame.y).style, Style::FrameInactive);
      })
      .Press(VK_RETURN)
      .Do([&] {
        EXPECT_EQ(RowOf(terminal.Screen(), "Enter a whole number"), -1);
        EXPECT_EQ(GetFocus(), Control(kSecondEdit));
        EXPECT_EQ(Selection(kSecondEdit), std::make_pair(DWORD{0}, DWORD{4}));
        EXPECT_EQ(terminal.Cursor()->y, Place(kSecondEdit).cells.y);
      })
      .Type("40")
      .Press(VK_RETURN);
  EXPECT_EQ(Run(), IDOK);
  EXPECT_EQ(values.second, 40);
}

TEST_F(TerminalPresentationTest, KeysMoveAFocusedTrackbar) {
  terminal.Press(VK_TAB)  // from the first field to its slider
      .Press(VK_NEXT)
      .Do([&] { EXPECT_EQ(FieldOnScreen(kFirstEdit), "[55    ]"); })
      .Press(VK_RIGHT)
      .Press(VK_UP)
      .Press(VK_RIGHT)
      .Do([&] { EXPECT_EQ(FieldOnScreen(kFirstEdit), "[56    ]"); })
      .Press(VK_END)
      .Do([&] {
        EXPECT_EQ(FieldOnScreen(kFirstEdit), "[1000  ]");
        EXPECT_EQ(Place(kFirstSlider).thumbCell, Place(kFirstSlider).track.width - 1);
      })
      .Press(VK_PRIOR)
      .Do([&] { EXPECT_EQ(FieldOnScreen(kFirstEdit), "[950   ]"); })
      .Press(VK_HOME)
      .Press(VK_RETURN);
  EXPECT_EQ(Run(), IDOK);
  EXPECT_EQ(values.first, 0);
}

TEST_F(TerminalPresentationTest, HelpKeyAndHelpButtonAskForHelpAndKeepTheDialog) {
  terminal.Press(VK_F1).Click(FaceOf(kHelpButton)).Do([&] { EXPECT_EQ(helpRequests, 2); }).Press(VK_ESCAPE);
  EXPECT_EQ(Run(), IDCANCEL);
  EXPECT_EQ(helpRequests, 2);
}

TEST_F(TerminalPresentationTest, AClickOnAButtonPressesIt) {
  terminal.Click(FaceOf(IDCANCEL));
  EXPECT_EQ(Run(), IDCANCEL);
}

TEST_F(TerminalPresentationTest, AButtonReleasedElsewhereIsNotPressed) {
  terminal.Mouse(MouseInput::Action::Press, FaceOf(IDOK))
      .Do([&] {
        // Held down: drawn pushed.
        const CellRect face = Place(IDOK).face;
        EXPECT_EQ(terminal.Screen().At(face.x, face.y).style, Style::ButtonPushed);
      })
      .Mouse(MouseInput::Action::Release, FaceOf(IDCANCEL))
      .Press(VK_ESCAPE);
  EXPECT_EQ(Run(), IDCANCEL);
}

TEST_F(TerminalPresentationTest, AClickInAFieldPutsTheCaretThere) {
  terminal
      .Click([&] {
        const ControlPlace& field = Place(kSecondEdit);
        return CellPoint{field.textLeft + 1, field.cells.y};
      })
      .Do([&] {
        EXPECT_EQ(GetFocus(), Control(kSecondEdit));
        EXPECT_EQ(Selection(kSecondEdit), std::make_pair(DWORD{1}, DWORD{1}));
        EXPECT_EQ(terminal.Cursor()->x, Place(kSecondEdit).textLeft + 1);
      })
      .Type("7")
      .Click([&] {
        const ControlPlace& field = Place(kSecondEdit);
        return CellPoint{field.cells.Right() - 2, field.cells.y};  // past the end of the text
      })
      .Press(VK_BACK)
      .Press(VK_RETURN);
  EXPECT_EQ(Run(), IDOK);
  EXPECT_EQ(values.second, 27);
}

TEST_F(TerminalPresentationTest, TheMousePagesOnTheTrackAndDragsTheThumb) {
  win::MessageSpy spy;
  auto scrollCodes = [&] {
    std::vector<int> codes;
    for (const win::MessageRecord& record : spy.To(GetActiveWindow(), win::Delivery::Sent)) {
      if (record.message == WM_HSCROLL) codes.push_back(LOWORD(record.wParam));
    }
    return codes;
  };
  int target = 0;
  terminal.Click(TrackCell(kFirstSlider, [] { return 10; }))
      .Do([&] {
        EXPECT_THAT(scrollCodes(), Contains(TB_PAGEDOWN));
        EXPECT_EQ(FieldOnScreen(kFirstEdit), "[55    ]");
        spy.Clear();
      })
      .Mouse(MouseInput::Action::Press, TrackCell(kFirstSlider, [&] { return Place(kFirstSlider).thumbCell; }))
      .Mouse(MouseInput::Action::Move, TrackCell(kFirstSlider, [] { return 6; }))
      .Mouse(MouseInput::Action::Move, TrackCell(kFirstSlider, [] { return 12; }))
      .Do([&] { EXPECT_EQ(Place(kFirstSlider).thumbCell, 12); })
      .Mouse(MouseInput::Action::Release, TrackCell(kFirstSlider, [] { return 12; }))
      .Do([&] {
        const std::vector<int> codes = scrollCodes();
        ASSERT_GE(codes.size(), 3u);
        EXPECT_EQ(codes.front(), TB_THUMBTRACK);
        EXPECT_EQ(codes[codes.size() - 2], TB_THUMBPOSITION);
        EXPECT_EQ(codes.back(), TB_ENDTRACK);
        target = win::term::PositionOfCell(12, 0, 1000, Place(kFirstSlider).track.width);
      })
      .Press(VK_RETURN);
  EXPECT_EQ(Run(), IDOK);
  // The trackbar measures in pixels, a little finer than cells.
  EXPECT_NEAR(values.first, target, 10);
}

TEST_F(TerminalPresentationTest, TheCloseBoxCancels) {
  terminal.Click([&] {
    const CellRect box = presentation.Map().windows.at(0).closeBox;
    return CellPoint{box.x + 1, box.y};
  });
  EXPECT_EQ(Run(), IDCANCEL);
}

TEST_F(TerminalPresentationTest, CtrlCCancelsTheDialog) {
  terminal.Type("9").Key(KeyInput{KeyInput::Kind::Interrupt, 0, 0, win::kNoModifier});
  EXPECT_EQ(Run(), IDCANCEL);
  EXPECT_EQ(values.first, 5);
}

TEST_F(TerminalPresentationTest, AnInterruptSignalCancelsTheDialog) {
  terminal.Interrupt();
  EXPECT_EQ(Run(), IDCANCEL);
}

TEST_F(TerminalPresentationTest, CtrlCInAMessageBoxClosesItAndCancelsTheDialog) {
  terminal.Press('I', win::kAlt)
      .Type("0")
      .Press(VK_TAB)
      .Do([&] { EXPECT_GE(RowOf(terminal.Screen(), "Enter a whole number"), 0); })
      .Key(KeyInput{KeyInput::Kind::Interrupt, 0, 0, win::kNoModifier});
  EXPECT_EQ(Run(), IDCANCEL);
  EXPECT_EQ(values.second, 20);
}

TEST_F(TerminalPresentationTest, ATerminalThatGoesAwayEndsTheDialog) {
  // No script: the terminal reports that no input will come.
  EXPECT_EQ(Run(), -1);
}

TEST_F(TerminalPresentationTest, AResizedScreenIsDrawnAgainCentred) {
  terminal.Resize(60, 20)
      .Do([&] {
        const win::term::WindowPlace& window = presentation.Map().windows.at(0);
        EXPECT_EQ(terminal.Screen().Width(), 60);
        EXPECT_EQ(window.frame.x, (60 - window.frame.width) / 2);
        EXPECT_EQ(window.frame.y, (19 - window.frame.height) / 2);
        EXPECT_GE(RowOf(terminal.Screen(), "Noise variance:"), 0);
      })
      .Resize(30, 8)
      .Do([&] {
        // Too small: the top left stays in view.
        EXPECT_EQ(presentation.Map().windows.at(0).frame.x, 0);
        EXPECT_THAT(terminal.Row(2), HasSubstr("Noise variance:"));
      })
      .Press(VK_ESCAPE);
  EXPECT_EQ(Run(), IDCANCEL);
}

TEST_F(TerminalPresentationTest, WhatIsWrittenToStderrShowsOnTheBottomLine) {
  terminal.Notice("calvane: help: /usr/share/doc/calvane/Calvane.htm")
      .Do([&] {
        EXPECT_THAT(terminal.Row(23), HasSubstr("calvane: help: /usr/share/doc/calvane/Calvane.htm"));
        EXPECT_EQ(terminal.Screen().At(1, 23).style, Style::Notice);
      })
      .Press(VK_ESCAPE);
  EXPECT_EQ(Run(), IDCANCEL);
}

TEST_F(TerminalPresentationTest, ALongValueScrollsSidewaysInItsField) {
  terminal.Press('I', win::kAlt)
      .Type("1234567890")
      .Do([&] {
        EXPECT_EQ(FieldOnScreen(kSecondEdit), "[67890 ]");
        EXPECT_EQ(terminal.Cursor()->x, Place(kSecondEdit).textLeft + 5);
      })
      .Press(VK_HOME)
      .Do([&] {
        EXPECT_EQ(FieldOnScreen(kSecondEdit), "[123456]");
        EXPECT_EQ(terminal.Cursor()->x, Place(kSecondEdit).textLeft);
      })
      .Press(VK_ESCAPE);
  EXPECT_EQ(Run(), IDCANCEL);
}

// A value set whole is shown from its start, though the dialog selects it
// on focus (the caret then at its end): the field scrolls only when the
// caret moves, and only as far as it needs.
TEST_F(TerminalPresentationTest, AValueSetWholeShowsItsStartUntilTheCaretMoves) {
  terminal.Do([&] { SetWindowTextA(Control(kSecondEdit), "17.9029"); })
      .Press('I', win::kAlt)
      .Do([&] {
        EXPECT_EQ(FieldOnScreen(kSecondEdit), "[17.902]");
        EXPECT_FALSE(terminal.Cursor().has_value()) << "the caret is past the field's right edge";
      })
      .Press(VK_RIGHT)
      .Do([&] {
        // The selection collapses to its end: scrolled just enough to show it.
        EXPECT_EQ(FieldOnScreen(kSecondEdit), "[.9029 ]");
        EXPECT_EQ(terminal.Cursor()->x, Place(kSecondEdit).textLeft + 5);
      })
      .Press(VK_HOME)
      .Do([&] { EXPECT_EQ(FieldOnScreen(kSecondEdit), "[17.902]"); })
      .Press(VK_ESCAPE);
  EXPECT_EQ(Run(), IDCANCEL);
}

TEST_F(TerminalPresentationTest, AMessageBoxShowsItsLineFeedsTabsAndIcon) {
  int answer = 0;
  terminal
      .Do([&] {
        const win::term::Canvas& screen = terminal.Screen();
        const int first = RowOf(screen, "An error occurred while trying to perform the operation:");
        ASSERT_GE(first, 0) << terminal.Text();
        const int text = ColumnOf(screen, first, "An error");
        EXPECT_EQ(ColumnOf(screen, first, "(x)"), text - 4);
        EXPECT_EQ(screen.At(text - 4, first).style, Style::IconError);
        EXPECT_EQ(ColumnOf(screen, first + 1, "disk"), -1);
        EXPECT_EQ(ColumnOf(screen, first + 2, "disk full"), text + 8);
        EXPECT_GE(RowOf(screen, " Total Variation Denoise "), 0);
        EXPECT_GT(RowOf(screen, "[< OK >]"), first + 2);
      })
      .Press(VK_RETURN);
  {
    win::PresentationScope scope(presentation);
    answer = MessageBoxA(nullptr, "An error occurred while trying to perform the operation: \n\n\tdisk full",
                         kDialogCaption, MB_ICONERROR);
  }
  EXPECT_EQ(answer, IDOK);
}

TEST_F(TerminalPresentationTest, AMessageBoxAnswersWithTheButtonChosen) {
  win::PresentationScope scope(presentation);
  terminal.Press(VK_ESCAPE);
  EXPECT_EQ(MessageBoxA(nullptr, "Save?", "Ask", MB_YESNOCANCEL | MB_ICONQUESTION), IDCANCEL);
  terminal.Press(VK_ESCAPE).Type("n");  // a question without Cancel ignores Escape
  EXPECT_EQ(MessageBoxA(nullptr, "Save?", "Ask", MB_YESNO), IDNO);
  terminal.Press(VK_TAB).Press(VK_RETURN);
  EXPECT_EQ(MessageBoxA(nullptr, "Go on?", "Ask", MB_OKCANCEL), IDCANCEL);
  terminal.Press(VK_RETURN);
  EXPECT_EQ(MessageBoxA(nullptr, "Go on?", "Ask", MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
  terminal.Click([&] {
    const int row = RowOf(terminal.Screen(), "[ Retry ]");
    return CellPoint{ColumnOf(terminal.Screen(), row, "[ Retry ]") + 2, row};
  });
  EXPECT_EQ(MessageBoxA(nullptr, "Failed.", "Ask", MB_ABORTRETRYIGNORE), IDRETRY);
  // Nobody left to answer: the box takes the answer Escape gives.
  EXPECT_EQ(MessageBoxA(nullptr, "Go on?", "Ask", MB_OKCANCEL), IDCANCEL);
}

}  // namespace
