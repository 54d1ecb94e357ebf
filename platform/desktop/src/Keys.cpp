#include <gdk/gdkkeysyms.h>

#include "desktop/keys.h"

namespace win::desktop {
namespace {

// Keys that are keys to the window system rather than characters, keypad
// variants included.
UINT VirtualKeyOfKeyval(guint keyval) {
  switch (keyval) {
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab:  // Shift+Tab on X11
    case GDK_KEY_KP_Tab:
      return VK_TAB;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter:
      return VK_RETURN;
    case GDK_KEY_Escape:
      return VK_ESCAPE;
    case GDK_KEY_BackSpace:
      return VK_BACK;
    case GDK_KEY_Delete:
    case GDK_KEY_KP_Delete:
      return VK_DELETE;
    case GDK_KEY_Insert:
    case GDK_KEY_KP_Insert:
      return VK_INSERT;
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left:
      return VK_LEFT;
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right:
      return VK_RIGHT;
    case GDK_KEY_Up:
    case GDK_KEY_KP_Up:
      return VK_UP;
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down:
      return VK_DOWN;
    case GDK_KEY_Home:
    case GDK_KEY_KP_Home:
      return VK_HOME;
    case GDK_KEY_End:
    case GDK_KEY_KP_End:
      return VK_END;
    case GDK_KEY_Page_Up:
    case GDK_KEY_KP_Page_Up:
      return VK_PRIOR;
    case GDK_KEY_Page_Down:
    case GDK_KEY_KP_Page_Down:
      return VK_NEXT;
    default:
      break;
  }
  if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F12) return static_cast<UINT>(VK_F1 + (keyval - GDK_KEY_F1));
  return 0;
}

// The key of a letter or digit, whatever the case: what a mnemonic or a
// Ctrl shortcut names.
UINT VirtualKeyOfCharacter(gunichar c) {
  if (c >= 'a' && c <= 'z') return static_cast<UINT>(c - 'a' + 'A');
  if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return static_cast<UINT>(c);
  return 0;
}

}  // namespace

unsigned ModifiersOf(GdkModifierType state) {
  unsigned modifiers = kNoModifier;
  if ((state & GDK_SHIFT_MASK) != 0) modifiers |= kShift;
  if ((state & GDK_CONTROL_MASK) != 0) modifiers |= kControl;
  if ((state & GDK_MOD1_MASK) != 0) modifiers |= kAlt;
  return modifiers;
}

KeyAction TranslateKey(guint keyval, GdkModifierType state) {
  const unsigned modifiers = ModifiersOf(state);
  if (const UINT vk = VirtualKeyOfKeyval(keyval); vk != 0) {
    // Shift+Tab arrives as its own key on X11, with Shift held or not.
    const unsigned extra = keyval == GDK_KEY_ISO_Left_Tab ? kShift : kNoModifier;
    return KeyAction::Press(vk, modifiers | extra);
  }
  const gunichar character = gdk_keyval_to_unicode(keyval);
  if ((modifiers & (kAlt | kControl)) != 0) {
    // Alt+letter: a mnemonic; Ctrl+letter: a shortcut. Either names the key.
    const UINT vk = VirtualKeyOfCharacter(character);
    if (vk == 0) return KeyAction{};
    return KeyAction::Press(vk, modifiers);
  }
  if (character < 0x20 || (character >= 0x7F && character < 0xA0) || character > 0x10FFFF) return KeyAction{};
  return KeyAction::Char(static_cast<char32_t>(character));
}

bool PostKeyAction(const KeyAction& action) {
  switch (action.kind) {
    case KeyAction::Kind::Character:
      PostCharInput(action.character);
      return true;
    case KeyAction::Kind::Key:
      PostKeyPress(action.virtualKey, action.modifiers);
      return true;
    case KeyAction::Kind::None:
      return false;
  }
  return false;
}

KeyAction TranslateWheel(GdkScrollDirection direction) {
  switch (direction) {
    case GDK_SCROLL_UP:
      return KeyAction::Press(VK_UP);
    case GDK_SCROLL_DOWN:
      return KeyAction::Press(VK_DOWN);
    default:
      return KeyAction{};
  }
}

}  // namespace win::desktop
