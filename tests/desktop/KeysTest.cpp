// The desktop's keys in the window system's terms: the translation table,
// and the test dialog driven by translated GDK key presses, watched with the
// window system's spy.
#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

#include <deque>

#include "desktop/keys.h"
#include "term/ParameterDialog.h"
#include "win/spy.h"

using win::desktop::KeyAction;
using win::desktop::TranslateKey;

namespace {

constexpr GdkModifierType kNone = static_cast<GdkModifierType>(0);
GdkModifierType Mods(int mask) { return static_cast<GdkModifierType>(mask); }

TEST(DesktopKeys, KeysOfTheDialogInterfaceAreVirtualKeys) {
  EXPECT_EQ(TranslateKey(GDK_KEY_Tab, kNone), KeyAction::Press(VK_TAB));
  // Shift+Tab comes as ISO_Left_Tab, with Shift held.
  EXPECT_EQ(TranslateKey(GDK_KEY_ISO_Left_Tab, GDK_SHIFT_MASK), KeyAction::Press(VK_TAB, win::kShift));
  EXPECT_EQ(TranslateKey(GDK_KEY_ISO_Left_Tab, kNone), KeyAction::Press(VK_TAB, win::kShift));
  EXPECT_EQ(TranslateKey(GDK_KEY_Return, kNone), KeyAction::Press(VK_RETURN));
  EXPECT_EQ(TranslateKey(GDK_KEY_KP_Enter, kNone), KeyAction::Press(VK_RETURN));
  EXPECT_EQ(TranslateKey(GDK_KEY_Escape, kNone), KeyAction::Press(VK_ESCAPE));
  EXPECT_EQ(TranslateKey(GDK_KEY_BackSpace, kNone), KeyAction::Press(VK_BACK));
  EXPECT_EQ(TranslateKey(GDK_KEY_Delete, kNone), KeyAction::Press(VK_DELETE));
  EXPECT_EQ(TranslateKey(GDK_KEY_Left, GDK_SHIFT_MASK), KeyAction::Press(VK_LEFT, win::kShift));
  EXPECT_EQ(TranslateKey(GDK_KEY_KP_Right, kNone), KeyAction::Press(VK_RIGHT));
  EXPECT_EQ(TranslateKey(GDK_KEY_Up, kNone), KeyAction::Press(VK_UP));
  EXPECT_EQ(TranslateKey(GDK_KEY_Down, kNone), KeyAction::Press(VK_DOWN));
  EXPECT_EQ(TranslateKey(GDK_KEY_Home, kNone), KeyAction::Press(VK_HOME));
  EXPECT_EQ(TranslateKey(GDK_KEY_End, kNone), KeyAction::Press(VK_END));
  EXPECT_EQ(TranslateKey(GDK_KEY_Page_Up, kNone), KeyAction::Press(VK_PRIOR));
  EXPECT_EQ(TranslateKey(GDK_KEY_Page_Down, kNone), KeyAction::Press(VK_NEXT));
  EXPECT_EQ(TranslateKey(GDK_KEY_F1, kNone), KeyAction::Press(VK_F1));
  EXPECT_EQ(TranslateKey(GDK_KEY_F4, GDK_MOD1_MASK), KeyAction::Press(VK_F4, win::kAlt));
}

TEST(DesktopKeys, PrintableKeysAreCharactersAndAltOrCtrlNameTheirKey) {
  EXPECT_EQ(TranslateKey(GDK_KEY_5, kNone), KeyAction::Char(U'5'));
  EXPECT_EQ(TranslateKey(GDK_KEY_period, kNone), KeyAction::Char(U'.'));
  EXPECT_EQ(TranslateKey(GDK_KEY_A, GDK_SHIFT_MASK), KeyAction::Char(U'A'));
  EXPECT_EQ(TranslateKey(GDK_KEY_space, kNone), KeyAction::Char(U' '));
  EXPECT_EQ(TranslateKey(GDK_KEY_eacute, kNone), KeyAction::Char(U'\u00e9'));
  // Mnemonics: Alt with a letter, whatever its case.
  EXPECT_EQ(TranslateKey(GDK_KEY_v, GDK_MOD1_MASK), KeyAction::Press('V', win::kAlt));
  EXPECT_EQ(TranslateKey(GDK_KEY_I, Mods(GDK_MOD1_MASK | GDK_SHIFT_MASK)), KeyAction::Press('I', win::kAlt | win::kShift));
  EXPECT_EQ(TranslateKey(GDK_KEY_c, GDK_CONTROL_MASK), KeyAction::Press('C', win::kControl));
  // Modifiers alone, and Alt with what names no key, feed nothing.
  EXPECT_EQ(TranslateKey(GDK_KEY_Shift_L, GDK_SHIFT_MASK).kind, KeyAction::Kind::None);
  EXPECT_EQ(TranslateKey(GDK_KEY_Alt_L, kNone).kind, KeyAction::Kind::None);
  EXPECT_EQ(TranslateKey(GDK_KEY_exclam, GDK_MOD1_MASK).kind, KeyAction::Kind::None);
}

TEST(DesktopKeys, TheWheelStepsALine) {
  EXPECT_EQ(win::desktop::TranslateWheel(GDK_SCROLL_UP), KeyAction::Press(VK_UP));
  EXPECT_EQ(win::desktop::TranslateWheel(GDK_SCROLL_DOWN), KeyAction::Press(VK_DOWN));
  EXPECT_EQ(win::desktop::TranslateWheel(GDK_SCROLL_LEFT).kind, KeyAction::Kind::None);
}

// Feeds GDK key presses, translated, whenever the window system waits for
// input; then nobody is at the screen.
class GdkKeyScript : public win::UnattendedPresentation {
 public:
  struct Press {
    guint keyval;
    GdkModifierType state;
  };
  explicit GdkKeyScript(std::deque<Press> presses) : m_presses(std::move(presses)) {}
  bool WaitForInput() override {
    m_focus.push_back(GetDlgCtrlID(GetFocus()));
    while (!m_presses.empty()) {
      const Press press = m_presses.front();
      m_presses.pop_front();
      if (win::desktop::PostKeyAction(TranslateKey(press.keyval, press.state))) return true;
    }
    return UnattendedPresentation::WaitForInput();
  }
  // The control that had the focus each time input was waited for.
  const std::vector<int>& Focus() const { return m_focus; }

 private:
  std::deque<Press> m_presses;
  std::vector<int> m_focus;
};

HMODULE TestModule() {
  static HMODULE module = [] {
    HMODULE m = win::CreateModule("desktop-keys-test");
    win::AddDialogResource(m, term_test::kDialogId, term_test::ParameterDialogTemplate());
    return m;
  }();
  return module;
}

TEST(DesktopKeys, TranslatedKeysDriveTheDialogAsTheTerminalsDo) {
  GdkKeyScript script({{GDK_KEY_5, kNone},
                       {GDK_KEY_0, kNone},
                       {GDK_KEY_0, kNone},
                       {GDK_KEY_Tab, kNone},
                       {GDK_KEY_i, GDK_MOD1_MASK},
                       {GDK_KEY_3, kNone},
                       {GDK_KEY_0, kNone},
                       {GDK_KEY_Return, kNone}});
  win::PresentationScope scope(script);
  win::MessageSpy spy;
  term_test::ParameterValues values;
  EXPECT_EQ(term_test::RunParameterDialog(TestModule(), values), IDOK);
  EXPECT_EQ(values.first, 500);
  EXPECT_EQ(values.second, 30);

  // What reached the windows: a key and the character it makes for a digit,
  // a system key for the mnemonic, a key for Tab and Enter.
  auto dispatched = [&](UINT message, WPARAM wParam) {
    int count = 0;
    for (const win::MessageRecord& record : spy.Records()) {
      if (record.delivery == win::Delivery::Dispatched && record.message == message && record.wParam == wParam) ++count;
    }
    return count;
  };
  EXPECT_EQ(dispatched(WM_KEYDOWN, '5'), 1);
  EXPECT_EQ(dispatched(WM_CHAR, '5'), 1);
  EXPECT_EQ(dispatched(WM_KEYDOWN, '0'), 3);
  EXPECT_EQ(dispatched(WM_SYSKEYDOWN, 'I'), 1);
  EXPECT_EQ(dispatched(WM_KEYDOWN, 'I'), 0);
}

TEST(DesktopKeys, TabAndShiftTabMoveAlongTheTabOrder) {
  GdkKeyScript script({{GDK_KEY_Tab, kNone},
                       {GDK_KEY_Tab, kNone},
                       {GDK_KEY_ISO_Left_Tab, GDK_SHIFT_MASK},
                       {GDK_KEY_ISO_Left_Tab, GDK_SHIFT_MASK},
                       {GDK_KEY_Escape, kNone}});
  win::PresentationScope scope(script);
  term_test::ParameterValues values;
  EXPECT_EQ(term_test::RunParameterDialog(TestModule(), values), IDCANCEL);
  EXPECT_EQ(script.Focus(), (std::vector<int>{term_test::kFirstEdit, term_test::kFirstSlider, term_test::kSecondEdit,
                                              term_test::kFirstSlider, term_test::kFirstEdit}));
}

TEST(DesktopKeys, EscapeCancelsTheDialog) {
  GdkKeyScript script({{GDK_KEY_9, kNone}, {GDK_KEY_Escape, kNone}});
  win::PresentationScope scope(script);
  win::MessageSpy spy;
  term_test::ParameterValues values;
  EXPECT_EQ(term_test::RunParameterDialog(TestModule(), values), IDCANCEL);
  EXPECT_EQ(values.first, 5);
  // Escape ended it, not the script running out (which closes the window).
  int closes = 0;
  for (const win::MessageRecord& record : spy.Records()) {
    if (record.delivery == win::Delivery::Dispatched && record.message == WM_SYSCOMMAND) ++closes;
  }
  EXPECT_EQ(closes, 0);
}

}  // namespace
