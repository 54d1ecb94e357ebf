// The headless presentation.
#include "headless/headless.h"

namespace win {

HeadlessPresentation::HeadlessPresentation() = default;
HeadlessPresentation::~HeadlessPresentation() = default;

HeadlessPresentation& HeadlessPresentation::AddStep(std::function<void()> step) {
  m_steps.push_back(std::move(step));
  return *this;
}

HWND HeadlessPresentation::Control(int controlId) {
  HWND root = FrontWindow();
  std::vector<HWND> pending = ChildWindows(root);
  for (std::size_t i = 0; i < pending.size(); ++i) {
    if (GetDlgCtrlID(pending[i]) == controlId) return pending[i];
    std::vector<HWND> children = ChildWindows(pending[i]);
    pending.insert(pending.end(), children.begin(), children.end());
  }
  m_scriptErrors.push_back("no control " + std::to_string(controlId) + " in the active window");
  return nullptr;
}

HeadlessPresentation& HeadlessPresentation::Type(const std::string& text) {
  return AddStep([text] { PostTextInput(text); });
}

HeadlessPresentation& HeadlessPresentation::Press(UINT virtualKey, unsigned modifiers) {
  return AddStep([=] { PostKeyPress(virtualKey, modifiers); });
}

HeadlessPresentation& HeadlessPresentation::KeyDown(UINT virtualKey, unsigned modifiers) {
  return AddStep([=] { PostKeyInput(virtualKey, true, modifiers); });
}

HeadlessPresentation& HeadlessPresentation::KeyUp(UINT virtualKey, unsigned modifiers) {
  return AddStep([=] { PostKeyInput(virtualKey, false, modifiers); });
}

HeadlessPresentation& HeadlessPresentation::Click(int controlId) {
  return AddStep([this, controlId] {
    HWND control = Control(controlId);
    if (control == nullptr) return;
    POINT at = WindowCentreOnScreen(control);
    PostMouseInput(WM_LBUTTONDOWN, at);
    PostMouseInput(WM_LBUTTONUP, at);
  });
}

HeadlessPresentation& HeadlessPresentation::ClickAt(int controlId, POINT clientPoint) {
  return AddStep([this, controlId, clientPoint] {
    HWND control = Control(controlId);
    if (control == nullptr) return;
    POINT at = clientPoint;
    ClientToScreen(control, &at);
    PostMouseInput(WM_LBUTTONDOWN, at);
    PostMouseInput(WM_LBUTTONUP, at);
  });
}

HeadlessPresentation& HeadlessPresentation::DragThumb(int controlId, int position) {
  return AddStep([this, controlId, position] {
    HWND control = Control(controlId);
    WindowView view;
    if (control == nullptr || !DescribeWindow(control, &view)) return;
    if (view.kind != ControlKind::Trackbar) {
      m_scriptErrors.push_back("control " + std::to_string(controlId) + " is not a trackbar");
      return;
    }
    POINT from{(view.thumbRect.left + view.thumbRect.right) / 2, (view.thumbRect.top + view.thumbRect.bottom) / 2};
    ClientToScreen(control, &from);
    POINT to = TrackbarPointOnScreen(control, position);
    PostMouseInput(WM_LBUTTONDOWN, from);
    PostMouseInput(WM_MOUSEMOVE, to);
    PostMouseInput(WM_LBUTTONUP, to);
  });
}

HeadlessPresentation& HeadlessPresentation::Close() {
  return AddStep([this] {
    HWND window = FrontWindow();
    if (window == nullptr) {
      m_scriptErrors.push_back("no window to close");
      return;
    }
    PostCloseInput(window);
  });
}

HeadlessPresentation& HeadlessPresentation::Do(std::function<void()> action) { return AddStep(std::move(action)); }

HeadlessPresentation& HeadlessPresentation::AnswerMessageBox(int answer) {
  m_answers.push_back(answer);
  return *this;
}

int HeadlessPresentation::InvalidationCount(HWND hWnd) const {
  auto it = m_invalidations.find(hWnd);
  return it == m_invalidations.end() ? 0 : it->second;
}

void HeadlessPresentation::ClearRecords() {
  m_boxes.clear();
  m_exhaustionCloses.clear();
  m_scriptErrors.clear();
  m_invalidations.clear();
  m_beeps = 0;
}

bool HeadlessPresentation::WaitForInput() {
  if (!m_steps.empty()) {
    std::function<void()> step = std::move(m_steps.front());
    m_steps.pop_front();
    step();
    return true;
  }
  // Out of script: the user closes the window in front, once.
  std::string caption;
  if (!CloseFrontWindowOnce(&caption)) return false;
  m_exhaustionCloses.push_back(caption);
  return true;
}

int HeadlessPresentation::ShowMessageBox(HWND owner, const char* text, const char* caption, UINT type) {
  int answer = DefaultButton(type);
  if (!m_answers.empty()) {
    answer = m_answers.front();
    m_answers.pop_front();
  }
  m_boxes.push_back(MessageBoxRecord{owner, caption, text, type, answer});
  return answer;
}

void HeadlessPresentation::Beep(UINT) { ++m_beeps; }

void HeadlessPresentation::OnWindowInvalidated(HWND hWnd) { ++m_invalidations[hWnd]; }

}  // namespace win
