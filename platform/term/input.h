// Terminal input, once a device has decoded it: what the user did, in the
// window system's terms, and how a curses key code reads in those terms.
#pragma once

#include "win/presentation.h"

namespace win::term {

struct KeyInput {
  enum class Kind {
    None,       // nothing the window system knows
    Character,  // a printable character: `character`
    Key,        // a key: `virtualKey` with `modifiers`
    Interrupt,  // Ctrl-C: leave the dialog as Cancel does
  };
  Kind kind = Kind::None;
  char32_t character = 0;
  UINT virtualKey = 0;
  unsigned modifiers = kNoModifier;

  static KeyInput Char(char32_t c) { return KeyInput{Kind::Character, c, 0, kNoModifier}; }
  static KeyInput Press(UINT vk, unsigned mods = kNoModifier) { return KeyInput{Kind::Key, 0, vk, mods}; }
  bool operator==(const KeyInput& other) const {
    return kind == other.kind && character == other.character && virtualKey == other.virtualKey &&
           modifiers == other.modifiers;
  }
};

struct MouseInput {
  enum class Action { Press, Release, Move };
  Action action = Action::Press;
  int x = 0, y = 0;  // screen cell
};

struct InputEvent {
  enum class Type {
    None,       // nothing happened (a non-blocking read found nothing)
    Key,
    Mouse,
    Resize,     // the screen changed size
    Interrupt,  // SIGINT from outside: as Ctrl-C
    Closed,     // the terminal went away: no more input will come
  };
  Type type = Type::None;
  KeyInput key;
  MouseInput mouse;
};

// A curses key: `code` is a character when `isFunctionKey` is false (from
// get_wch), else a KEY_* code; `alt` when it came after an Escape prefix.
KeyInput DecodeCursesKey(int code, bool isFunctionKey, bool alt);

// Feeds a key to the window system's input queue (PostKeyPress /
// PostCharInput). Interrupt and None feed nothing.
void PostKey(const KeyInput& key);

}  // namespace win::term
