// The desktop's keys in the window system's terms. A key press becomes what
// the terminal presentation feeds for the same key: a virtual-key press
// (WM_KEYDOWN and WM_KEYUP; WM_SYSKEYDOWN with Alt, for mnemonics) or a
// typed character (PostCharInput, which presses the key that gives it, so
// that the window system makes the WM_CHAR). Releases feed nothing: a press
// carries its own release, as on the terminal.
#pragma once

#include <gdk/gdk.h>

#include "win/presentation.h"

namespace win::desktop {

struct KeyAction {
  enum class Kind {
    None,       // nothing the window system knows (a modifier alone, ...)
    Character,  // `character`
    Key,        // `virtualKey` with `modifiers`
  };
  Kind kind = Kind::None;
  char32_t character = 0;
  UINT virtualKey = 0;
  unsigned modifiers = kNoModifier;

  static KeyAction Char(char32_t c) { return KeyAction{Kind::Character, c, 0, kNoModifier}; }
  static KeyAction Press(UINT vk, unsigned mods = kNoModifier) { return KeyAction{Kind::Key, 0, vk, mods}; }
  bool operator==(const KeyAction& other) const {
    return kind == other.kind && character == other.character && virtualKey == other.virtualKey &&
           modifiers == other.modifiers;
  }
};

// The window system's modifiers of a GDK state (Shift, Control, Alt).
unsigned ModifiersOf(GdkModifierType state);

// A key press: `keyval` (GDK_KEY_...) with the modifiers held in `state`.
KeyAction TranslateKey(guint keyval, GdkModifierType state);

// Feeds the action to the window system's input queue; false for None.
bool PostKeyAction(const KeyAction& action);

// A wheel step over the focused control: a line up or down, as the arrow
// keys move a trackbar, scroll bar or up-down. None for sideways steps.
KeyAction TranslateWheel(GdkScrollDirection direction);

}  // namespace win::desktop
