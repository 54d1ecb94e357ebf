#include <algorithm>

#include "term/layout.h"
#include "term/terminal.h"

namespace win {
namespace {

using term::ControlPlace;
using term::MouseInput;

// Pixels per character of the dialog a control belongs to: what the edit
// control measures text with.
int CharWidthOf(HWND control) {
  WindowView view;
  for (HWND at = control; at != nullptr; at = view.parent) {
    if (!DescribeWindow(at, &view)) break;
    if (view.kind == ControlKind::Dialog && view.dialog.baseUnitX > 0) return view.dialog.baseUnitX;
  }
  return 8;
}

POINT ClientPoint(HWND hwnd, POINT client) {
  ClientToScreen(hwnd, &client);
  return client;
}

POINT Centre(const RECT& rect) { return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}; }

// The same place of a control in pixels as `x`, `y` in its cells.
POINT Proportional(const WindowView& view, const ControlPlace& place, int x, int y) {
  const RECT& r = view.windowRect;
  const int width = std::max(place.cells.width, 1);
  const int height = std::max(place.cells.height, 1);
  const int column = std::clamp(x - place.cells.x, 0, width - 1);
  const int row = std::clamp(y - place.cells.y, 0, height - 1);
  return POINT{r.left + static_cast<LONG>((2 * column + 1) * (r.right - r.left) / (2 * width)),
               r.top + static_cast<LONG>((2 * row + 1) * (r.bottom - r.top) / (2 * height))};
}

// Where the mouse is, in the window system's screen pixels, for the control
// it went down on. `press` tells a press from a move or release.
POINT PixelPoint(const ControlPlace& place, int x, int y, bool press) {
  WindowView view;
  if (!DescribeWindow(place.hwnd, &view)) return POINT{0, 0};
  switch (place.kind) {
    case ControlKind::Edit: {
      // Before the character under the mouse, as the edit measures it.
      const int length = term::TextColumns(view.text);
      const int index = std::clamp(place.firstChar + (x - place.textLeft), 0, length);
      const int clientHeight = view.clientRect.bottom - view.clientRect.top;
      return ClientPoint(place.hwnd, POINT{index * CharWidthOf(place.hwnd) + 1, clientHeight / 2});
    }
    case ControlKind::Trackbar: {
      const int length = place.vertical ? place.track.height : place.track.width;
      const int cell = place.vertical ? y - place.track.y : x - place.track.x;
      if (press && cell != place.thumbCell) {
        // On the channel beside the thumb: the trackbar pages toward it.
        const RECT& thumb = view.thumbRect;
        const RECT client{0, 0, view.clientRect.right - view.clientRect.left, view.clientRect.bottom - view.clientRect.top};
        POINT at = Centre(thumb);
        if (place.vertical) {
          at.y = cell < place.thumbCell ? thumb.top - 1 : thumb.bottom;
          at.y = std::clamp<LONG>(at.y, 0, std::max<LONG>(client.bottom - 1, 0));
        } else {
          at.x = cell < place.thumbCell ? thumb.left - 1 : thumb.right;
          at.x = std::clamp<LONG>(at.x, 0, std::max<LONG>(client.right - 1, 0));
        }
        return ClientPoint(place.hwnd, at);
      }
      if (press) return ClientPoint(place.hwnd, Centre(view.thumbRect));
      // Dragging: the point of the position that the cell stands for.
      return TrackbarPointOnScreen(place.hwnd,
                                   term::PositionOfCell(cell, view.range.min, view.range.max, std::max(length, 1)));
    }
    case ControlKind::Button:
      if (place.face.Contains(x, y)) return Centre(view.windowRect);
      // Off the button: released there, it does not click.
      return POINT{view.windowRect.left - 1, view.windowRect.top - 1};
    default:
      return Proportional(view, place, x, y);
  }
}

HWND WindowToClose() {
  HWND active = GetActiveWindow();
  if (active != nullptr && IsWindowVisible(active)) return active;
  const std::vector<HWND> windows = TopLevelWindows();
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
    if (IsWindowVisible(*it)) return *it;
  }
  return nullptr;
}

}  // namespace

TerminalPresentation::TerminalPresentation(term::TerminalDevice& device) : m_device(device) {}

TerminalPresentation::~TerminalPresentation() = default;

const char* TerminalPresentation::KeyHelp() {
  return " Tab/Shift+Tab: move  Enter: accept  Esc: cancel  F1: help  Alt+letter: go to";
}

void TerminalPresentation::Draw() {
  m_width = m_device.Width();
  m_height = m_device.Height();
  term::Canvas canvas(m_width, m_height);
  const bool notice = !m_notice.empty();
  m_map = m_painter.Paint(canvas, notice ? " " + m_notice : KeyHelp(), notice ? term::Style::Notice : term::Style::Hint,
                          m_box != nullptr);
  std::optional<term::CellPoint> cursor = m_map.cursor;
  if (m_box != nullptr) {
    m_box->Paint(canvas);
    cursor = m_box->Cursor();
  }
  m_device.Show(canvas, cursor);
  m_dirty = false;
}

void TerminalPresentation::Refresh() {
  std::string notice = m_device.TakeNotice();
  if (!notice.empty()) {
    m_notice = std::move(notice);
    m_dirty = true;
  }
  if (m_dirty || m_width != m_device.Width() || m_height != m_device.Height()) Draw();
}

bool TerminalPresentation::WaitForInput() {
  for (;;) {
    Refresh();
    const term::InputEvent event = m_device.ReadInput(true);
    if (event.type == term::InputEvent::Type::Closed) return false;
    if (Handle(event)) return true;
  }
}

void TerminalPresentation::PollInput() {
  Refresh();
  for (;;) {
    const term::InputEvent event = m_device.ReadInput(false);
    if (event.type == term::InputEvent::Type::None || event.type == term::InputEvent::Type::Closed) return;
    if (Handle(event)) return;
  }
}

bool TerminalPresentation::Handle(const term::InputEvent& event) {
  switch (event.type) {
    case term::InputEvent::Type::Key:
      if (event.key.kind == term::KeyInput::Kind::Interrupt) {
        Interrupt();
        return true;
      }
      if (event.key.kind == term::KeyInput::Kind::None) return false;
      term::PostKey(event.key);
      return true;
    case term::InputEvent::Type::Mouse:
      HandleMouse(event.mouse);
      return true;
    case term::InputEvent::Type::Interrupt:
      Interrupt();
      return true;
    case term::InputEvent::Type::Resize:
      m_dirty = true;
      return false;
    case term::InputEvent::Type::None:
    case term::InputEvent::Type::Closed:
      return false;
  }
  return false;
}

void TerminalPresentation::Interrupt() {
  if (HWND window = WindowToClose()) PostCloseInput(window);
}

void TerminalPresentation::HandleMouse(const term::MouseInput& mouse) {
  if (mouse.action == MouseInput::Action::Press) {
    m_press.reset();
    const term::WindowPlace* window = m_map.WindowAt(mouse.x, mouse.y);
    if (window == nullptr) return;
    if (window->closeBox.Contains(mouse.x, mouse.y)) {
      m_press = Press{window->hwnd, true};
      return;
    }
    const ControlPlace* control = m_map.ControlAt(*window, mouse.x, mouse.y);
    if (control == nullptr) return;
    m_press = Press{control->hwnd, false};
    PostMouseInput(WM_LBUTTONDOWN, PixelPoint(*control, mouse.x, mouse.y, true));
    return;
  }
  if (!m_press) return;
  const Press press = *m_press;
  if (mouse.action == MouseInput::Action::Release) m_press.reset();
  if (press.closeBox) {
    const term::WindowPlace* window = m_map.WindowAt(mouse.x, mouse.y);
    if (mouse.action == MouseInput::Action::Release && window != nullptr && window->hwnd == press.hwnd &&
        window->closeBox.Contains(mouse.x, mouse.y)) {
      PostCloseInput(press.hwnd);
    }
    return;
  }
  const ControlPlace* control = m_map.Find(press.hwnd);
  if (control == nullptr) return;
  PostMouseInput(mouse.action == MouseInput::Action::Release ? WM_LBUTTONUP : WM_MOUSEMOVE,
                 PixelPoint(*control, mouse.x, mouse.y, false));
}

int TerminalPresentation::ShowMessageBox(HWND, const char* text, const char* caption, UINT type) {
  term::MessageBoxModel box(text != nullptr ? text : "", caption != nullptr ? caption : "", type);
  term::MessageBoxModel* previous = m_box;
  m_box = &box;
  m_dirty = true;
  struct Restore {
    TerminalPresentation& self;
    term::MessageBoxModel* previous;
    ~Restore() {
      self.m_box = previous;
      self.m_dirty = true;
    }
  } restore{*this, previous};
  // A press that began on a window ends with the box on top of it.
  m_press.reset();

  for (;;) {
    Refresh();
    const term::InputEvent event = m_device.ReadInput(true);
    std::optional<int> answer;
    switch (event.type) {
      case term::InputEvent::Type::Key:
        if (event.key.kind != term::KeyInput::Kind::Interrupt) {
          answer = box.HandleKey(event.key);
          m_dirty = true;
          break;
        }
        [[fallthrough]];
      case term::InputEvent::Type::Interrupt:
        // Out of the box as Escape would, and out of the window under it.
        Interrupt();
        answer = box.EscapeAnswer();
        break;
      case term::InputEvent::Type::Mouse:
        answer = box.HandleMouse(event.mouse);
        m_dirty = true;
        break;
      case term::InputEvent::Type::Resize:
        m_dirty = true;
        break;
      case term::InputEvent::Type::Closed:
        // Nobody will answer: the box takes the answer Escape gives, or its
        // focused button.
        answer = box.EscapeAnswer().value_or(box.FocusedButton());
        break;
      case term::InputEvent::Type::None:
        break;
    }
    if (answer) return *answer;
  }
}

void TerminalPresentation::Beep(UINT) { m_device.Beep(); }

void TerminalPresentation::OnWindowCreated(HWND) { m_dirty = true; }

void TerminalPresentation::OnWindowDestroyed(HWND hWnd) {
  m_painter.Forget(hWnd);
  if (m_press && m_press->hwnd == hWnd) m_press.reset();
  m_dirty = true;
}

void TerminalPresentation::OnWindowInvalidated(HWND) { m_dirty = true; }

void TerminalPresentation::OnFocusChanged(HWND, HWND) { m_dirty = true; }

}  // namespace win
