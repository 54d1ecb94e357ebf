// A message box on the terminal: its layout, drawing and keys. The box is
// not a window of the window system (showing one moves no focus); the
// presentation draws it over the windows and answers the caller with the
// button chosen.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "term/canvas.h"
#include "term/input.h"

namespace win::term {

struct MessageBoxButton {
  int id = 0;          // IDOK, IDCANCEL, ...
  std::string label;   // "&" marks a mnemonic
};

// The buttons of a box style (MB_OK, MB_YESNO, ...), in order.
std::vector<MessageBoxButton> MessageBoxButtons(UINT type);

class MessageBoxModel {
 public:
  MessageBoxModel(std::string text, std::string caption, UINT type);

  // Draws the box centred over the canvas (its last row excluded, like the
  // windows).
  void Paint(Canvas& canvas);
  // Where the cursor goes: on the focused button.
  std::optional<CellPoint> Cursor() const { return m_cursor; }

  // What the user did; an answer ends the box.
  std::optional<int> HandleKey(const KeyInput& key);
  std::optional<int> HandleMouse(const MouseInput& mouse);

  // The answer Escape (and Ctrl-C) give: Cancel when the box has it, OK for
  // a box with only OK; none for boxes that ask a question without Cancel.
  std::optional<int> EscapeAnswer() const;
  int FocusedButton() const { return m_buttons[m_focus].id; }

 private:
  std::string m_text, m_caption;
  UINT m_type;
  std::vector<MessageBoxButton> m_buttons;
  std::size_t m_focus = 0;
  std::vector<CellRect> m_faces;  // where each button was drawn
  std::optional<std::size_t> m_pressed;
  std::optional<CellPoint> m_cursor;
};

}  // namespace win::term
