#include "ScriptedTerminal.h"

namespace term_test {

ScriptedTerminal& ScriptedTerminal::Key(const KeyInput& key) {
  m_steps.push_back([key]() -> std::optional<InputEvent> {
    InputEvent event;
    event.type = InputEvent::Type::Key;
    event.key = key;
    return event;
  });
  return *this;
}

ScriptedTerminal& ScriptedTerminal::Type(const std::string& text) {
  for (char32_t c : win::term::DecodeUtf8(text)) Key(KeyInput::Char(c));
  return *this;
}

ScriptedTerminal& ScriptedTerminal::Mouse(MouseInput::Action action, int x, int y) {
  m_steps.push_back([=]() -> std::optional<InputEvent> {
    InputEvent event;
    event.type = InputEvent::Type::Mouse;
    event.mouse = MouseInput{action, x, y};
    return event;
  });
  return *this;
}

ScriptedTerminal& ScriptedTerminal::Mouse(MouseInput::Action action, std::function<CellPoint()> where) {
  m_steps.push_back([=]() -> std::optional<InputEvent> {
    const CellPoint at = where();
    InputEvent event;
    event.type = InputEvent::Type::Mouse;
    event.mouse = MouseInput{action, at.x, at.y};
    return event;
  });
  return *this;
}

ScriptedTerminal& ScriptedTerminal::Interrupt() {
  m_steps.push_back([]() -> std::optional<InputEvent> {
    InputEvent event;
    event.type = InputEvent::Type::Interrupt;
    return event;
  });
  return *this;
}

ScriptedTerminal& ScriptedTerminal::Resize(int width, int height) {
  m_steps.push_back([this, width, height]() -> std::optional<InputEvent> {
    m_width = width;
    m_height = height;
    InputEvent event;
    event.type = InputEvent::Type::Resize;
    return event;
  });
  return *this;
}

ScriptedTerminal& ScriptedTerminal::Notice(const std::string& line) {
  m_steps.push_back([this, line]() -> std::optional<InputEvent> {
    m_notice = line;
    return std::nullopt;
  });
  return *this;
}

ScriptedTerminal& ScriptedTerminal::Do(std::function<void()> action) {
  m_steps.push_back([action]() -> std::optional<InputEvent> {
    action();
    return std::nullopt;
  });
  return *this;
}

void ScriptedTerminal::Show(const Canvas& canvas, std::optional<CellPoint> cursor) {
  m_screen = std::make_unique<Canvas>(canvas);
  m_cursor = cursor;
  ++m_frames;
}

InputEvent ScriptedTerminal::ReadInput(bool wait) {
  while (!m_steps.empty()) {
    auto step = std::move(m_steps.front());
    m_steps.pop_front();
    if (std::optional<InputEvent> event = step()) return *event;
    // A step that gave no event: let the presentation catch up (a notice
    // to show) before the next one.
    return InputEvent{};
  }
  InputEvent event;
  event.type = wait ? InputEvent::Type::Closed : InputEvent::Type::None;
  return event;
}

std::string ScriptedTerminal::TakeNotice() {
  std::string notice;
  notice.swap(m_notice);
  return notice;
}

int ColumnOf(const Canvas& canvas, int y, const std::string& needle) {
  const std::u32string row = win::term::DecodeUtf8(canvas.RowText(y));
  const std::size_t at = row.find(win::term::DecodeUtf8(needle));
  return at == std::u32string::npos ? -1 : static_cast<int>(at);
}

int RowOf(const Canvas& canvas, const std::string& needle) {
  for (int y = 0; y < canvas.Height(); ++y) {
    if (ColumnOf(canvas, y, needle) >= 0) return y;
  }
  return -1;
}

}  // namespace term_test
