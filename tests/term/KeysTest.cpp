// How a curses key reads as the window system's input.
#include <curses.h>
#include <gtest/gtest.h>

#include "term/input.h"

using win::term::DecodeCursesKey;
using win::term::KeyInput;

namespace {

struct Case {
  int code;
  bool function;
  bool alt;
  KeyInput expected;
};

TEST(CursesKeys, MapToTheKeysDialogsAndControlsUnderstand) {
  const KeyInput interrupt{KeyInput::Kind::Interrupt, 0, 0, win::kNoModifier};
  const Case cases[] = {
      {'7', false, false, KeyInput::Char(U'7')},
      {'.', false, false, KeyInput::Char(U'.')},
      {' ', false, false, KeyInput::Char(U' ')},
      {0xE9, false, false, KeyInput::Char(U'\u00E9')},
      {'\t', false, false, KeyInput::Press(VK_TAB)},
      {KEY_BTAB, true, false, KeyInput::Press(VK_TAB, win::kShift)},
      {'\r', false, false, KeyInput::Press(VK_RETURN)},
      {'\n', false, false, KeyInput::Press(VK_RETURN)},
      {KEY_ENTER, true, false, KeyInput::Press(VK_RETURN)},
      {27, false, false, KeyInput::Press(VK_ESCAPE)},
      {127, false, false, KeyInput::Press(VK_BACK)},
      {'\b', false, false, KeyInput::Press(VK_BACK)},
      {KEY_BACKSPACE, true, false, KeyInput::Press(VK_BACK)},
      {KEY_DC, true, false, KeyInput::Press(VK_DELETE)},
      {KEY_LEFT, true, false, KeyInput::Press(VK_LEFT)},
      {KEY_RIGHT, true, false, KeyInput::Press(VK_RIGHT)},
      {KEY_UP, true, false, KeyInput::Press(VK_UP)},
      {KEY_DOWN, true, false, KeyInput::Press(VK_DOWN)},
      {KEY_SLEFT, true, false, KeyInput::Press(VK_LEFT, win::kShift)},
      {KEY_HOME, true, false, KeyInput::Press(VK_HOME)},
      {KEY_FIND, true, false, KeyInput::Press(VK_HOME)},
      {KEY_END, true, false, KeyInput::Press(VK_END)},
      {KEY_SELECT, true, false, KeyInput::Press(VK_END)},
      {KEY_PPAGE, true, false, KeyInput::Press(VK_PRIOR)},
      {KEY_NPAGE, true, false, KeyInput::Press(VK_NEXT)},
      {KEY_F(1), true, false, KeyInput::Press(VK_F1)},
      {KEY_F(13), true, false, KeyInput::Press(VK_F1, win::kShift)},
      {'v', false, true, KeyInput::Press('V', win::kAlt)},
      {'I', false, true, KeyInput::Press('I', win::kAlt | win::kShift)},
      {'4', false, true, KeyInput::Press('4', win::kAlt)},
      {KEY_LEFT, true, true, KeyInput::Press(VK_LEFT, win::kAlt)},
      {3, false, false, interrupt},
      {1, false, false, KeyInput::Press('A', win::kControl)},
      {26, false, false, KeyInput::Press('Z', win::kControl)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeCursesKey(c.code, c.function, c.alt), c.expected) << "code " << c.code << " alt " << c.alt;
  }
}

TEST(CursesKeys, IgnoresWhatTheWindowSystemCannotUse) {
  EXPECT_EQ(DecodeCursesKey(KEY_MOUSE, true, false).kind, KeyInput::Kind::None);
  EXPECT_EQ(DecodeCursesKey(KEY_F(30), true, false).kind, KeyInput::Kind::None);
  EXPECT_EQ(DecodeCursesKey(0x9B, false, false).kind, KeyInput::Kind::None);  // a C1 control
  EXPECT_EQ(DecodeCursesKey(28, false, false).kind, KeyInput::Kind::None);    // Ctrl+backslash
  EXPECT_EQ(DecodeCursesKey('-', false, true).kind, KeyInput::Kind::None);    // Alt+punctuation
}

}  // namespace
