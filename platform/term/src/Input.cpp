#include "term/input.h"

#include <curses.h>

namespace win::term {
namespace {

constexpr int kEscape = 27;
constexpr int kDelete = 127;

bool IsCtrlLetter(int code) { return code >= 1 && code <= 26; }

UINT VirtualKeyOfCharacter(int code) {
  if (code >= 'a' && code <= 'z') return static_cast<UINT>(code - 'a' + 'A');
  if ((code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9')) return static_cast<UINT>(code);
  return 0;
}

KeyInput DecodeFunctionKey(int code) {
  switch (code) {
    case KEY_LEFT:
      return KeyInput::Press(VK_LEFT);
    case KEY_RIGHT:
      return KeyInput::Press(VK_RIGHT);
    case KEY_UP:
      return KeyInput::Press(VK_UP);
    case KEY_DOWN:
      return KeyInput::Press(VK_DOWN);
    case KEY_SLEFT:
      return KeyInput::Press(VK_LEFT, kShift);
    case KEY_SRIGHT:
      return KeyInput::Press(VK_RIGHT, kShift);
    case KEY_HOME:
    case KEY_A1:
    case KEY_FIND:  // "\e[1~" on some terminals
      return KeyInput::Press(VK_HOME);
    case KEY_END:
    case KEY_C1:
    case KEY_SELECT:  // "\e[4~"
      return KeyInput::Press(VK_END);
    case KEY_SHOME:
      return KeyInput::Press(VK_HOME, kShift);
    case KEY_SEND:
      return KeyInput::Press(VK_END, kShift);
    case KEY_PPAGE:
    case KEY_A3:
      return KeyInput::Press(VK_PRIOR);
    case KEY_NPAGE:
    case KEY_C3:
      return KeyInput::Press(VK_NEXT);
    case KEY_DC:
      return KeyInput::Press(VK_DELETE);
    case KEY_IC:
      return KeyInput::Press(VK_INSERT);
    case KEY_BACKSPACE:
      return KeyInput::Press(VK_BACK);
    case KEY_ENTER:
      return KeyInput::Press(VK_RETURN);
    case KEY_BTAB:
      return KeyInput::Press(VK_TAB, kShift);
    default:
      break;
  }
  if (code >= KEY_F(1) && code <= KEY_F(12)) return KeyInput::Press(static_cast<UINT>(VK_F1 + (code - KEY_F(1))));
  // Shifted function keys come as F13 to F24.
  if (code >= KEY_F(13) && code <= KEY_F(24)) {
    return KeyInput::Press(static_cast<UINT>(VK_F1 + (code - KEY_F(13))), kShift);
  }
  return KeyInput{};
}

}  // namespace

KeyInput DecodeCursesKey(int code, bool isFunctionKey, bool alt) {
  if (isFunctionKey) {
    KeyInput key = DecodeFunctionKey(code);
    if (alt && key.kind == KeyInput::Kind::Key) key.modifiers |= kAlt;
    return key;
  }
  switch (code) {
    case '\t':
      return KeyInput::Press(VK_TAB, alt ? kAlt : kNoModifier);
    case '\r':
    case '\n':
      return KeyInput::Press(VK_RETURN, alt ? kAlt : kNoModifier);
    case '\b':
    case kDelete:
      return KeyInput::Press(VK_BACK, alt ? kAlt : kNoModifier);
    case kEscape:
      return KeyInput::Press(VK_ESCAPE);
    case 3:  // Ctrl-C: the terminal is raw, so it arrives as a key
      return KeyInput{KeyInput::Kind::Interrupt, 0, 0, kNoModifier};
    default:
      break;
  }
  if (IsCtrlLetter(code)) return KeyInput::Press(static_cast<UINT>('A' + code - 1), kControl);
  if (alt) {
    // Alt+letter: the dialog's mnemonics.
    const UINT vk = VirtualKeyOfCharacter(code);
    if (vk == 0) return KeyInput{};
    const bool upper = code >= 'A' && code <= 'Z';
    return KeyInput::Press(vk, kAlt | (upper ? kShift : kNoModifier));
  }
  if (code < 0x20 || (code >= 0x7F && code < 0xA0) || code > 0x10FFFF) return KeyInput{};
  return KeyInput::Char(static_cast<char32_t>(code));
}

void PostKey(const KeyInput& key) {
  switch (key.kind) {
    case KeyInput::Kind::Character:
      PostCharInput(key.character);
      break;
    case KeyInput::Kind::Key:
      PostKeyPress(key.virtualKey, key.modifiers);
      break;
    case KeyInput::Kind::Interrupt:
    case KeyInput::Kind::None:
      break;
  }
}

}  // namespace win::term
