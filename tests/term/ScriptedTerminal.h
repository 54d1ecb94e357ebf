// A terminal device for tests: input comes from a script, and every screen
// the presentation shows is kept for reading back.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "term/device.h"

namespace term_test {

using win::term::Canvas;
using win::term::CellPoint;
using win::term::InputEvent;
using win::term::KeyInput;
using win::term::MouseInput;

class ScriptedTerminal : public win::term::TerminalDevice {
 public:
  ScriptedTerminal(int width = 80, int height = 24) : m_width(width), m_height(height) {}

  // ---- Script steps ----
  ScriptedTerminal& Key(const KeyInput& key);
  ScriptedTerminal& Press(UINT virtualKey, unsigned modifiers = win::kNoModifier) {
    return Key(KeyInput::Press(virtualKey, modifiers));
  }
  ScriptedTerminal& Type(const std::string& text);
  ScriptedTerminal& Mouse(MouseInput::Action action, int x, int y);
  // The mouse at a place worked out when the step runs.
  ScriptedTerminal& Mouse(MouseInput::Action action, std::function<CellPoint()> where);
  ScriptedTerminal& Click(std::function<CellPoint()> where) {
    return Mouse(MouseInput::Action::Press, where).Mouse(MouseInput::Action::Release, where);
  }
  ScriptedTerminal& Click(int x, int y) { return Mouse(MouseInput::Action::Press, x, y).Mouse(MouseInput::Action::Release, x, y); }
  ScriptedTerminal& Interrupt();
  // The screen becomes `width` by `height`.
  ScriptedTerminal& Resize(int width, int height);
  // Something writes a line to stderr.
  ScriptedTerminal& Notice(const std::string& line);
  // Runs `action` when the script gets here; the screen shown last is
  // current then.
  ScriptedTerminal& Do(std::function<void()> action);

  // ---- What was shown ----
  const Canvas& Screen() const { return *m_screen; }
  std::string Row(int y) const { return m_screen ? m_screen->RowText(y) : std::string(); }
  std::string Text() const { return m_screen ? m_screen->ToText() : std::string(); }
  std::optional<CellPoint> Cursor() const { return m_cursor; }
  int Frames() const { return m_frames; }
  int Beeps() const { return m_beeps; }
  bool ScriptDone() const { return m_steps.empty(); }

  // ---- Device ----
  int Width() const override { return m_width; }
  int Height() const override { return m_height; }
  void Show(const Canvas& canvas, std::optional<CellPoint> cursor) override;
  InputEvent ReadInput(bool wait) override;
  void Beep() override { ++m_beeps; }
  std::string TakeNotice() override;

 private:
  // A step either gives an event or does something and gives none.
  std::deque<std::function<std::optional<InputEvent>()>> m_steps;
  int m_width, m_height;
  std::unique_ptr<Canvas> m_screen;
  std::optional<CellPoint> m_cursor;
  int m_frames = 0;
  int m_beeps = 0;
  std::string m_notice;
};

// Where `needle` starts on the screen's row `y`, in cells, or -1.
int ColumnOf(const Canvas& canvas, int y, const std::string& needle);
// The first row that contains `needle`, or -1.
int RowOf(const Canvas& canvas, const std::string& needle);

}  // namespace term_test
