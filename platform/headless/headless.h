// The headless presentation (library calvheadless): input comes from a
// script, message boxes are answered from a queue, and nothing ever blocks.
// Tests and non-interactive hosts use it.
//
// The script is a list of steps. Whenever a message loop finds its queue
// empty, the next step runs: it feeds its input (a key, text, a click, ...)
// and the loop processes it together with everything it causes, posted
// messages included, before the next step runs. When the script is
// exhausted, the active window is closed as a user would close it (its close
// box: WM_SYSCOMMAND SC_CLOSE, which a dialog turns into IDCANCEL); if that
// window is still there the next time input is needed, no more input will
// come and GetMessageA returns -1 (a modal dialog then ends with -1).
//
// Controls are named by their identifier; they are looked up among the
// descendants of the active window when the step runs.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "win/presentation.h"

namespace win {

struct MessageBoxRecord {
  HWND owner = nullptr;
  std::string caption;
  std::string text;
  UINT style = 0;
  int answer = 0;
};

class WIN_API HeadlessPresentation : public UnattendedPresentation {
 public:
  HeadlessPresentation();
  ~HeadlessPresentation() override;

  // ---- Script steps (each returns *this, so steps chain) ----
  HeadlessPresentation& Type(const std::string& text);
  HeadlessPresentation& Press(UINT virtualKey, unsigned modifiers = kNoModifier);
  HeadlessPresentation& KeyDown(UINT virtualKey, unsigned modifiers = kNoModifier);
  HeadlessPresentation& KeyUp(UINT virtualKey, unsigned modifiers = kNoModifier);
  // A left click at the centre of the control.
  HeadlessPresentation& Click(int controlId);
  // A left click at a point of the control, in its client coordinates.
  HeadlessPresentation& ClickAt(int controlId, POINT clientPoint);
  // Drags a trackbar's thumb to the point of `position` and releases it.
  HeadlessPresentation& DragThumb(int controlId, int position);
  // Closes the active window with its close box.
  HeadlessPresentation& Close();
  // Runs `action` at this point of the script, while the windows are up.
  HeadlessPresentation& Do(std::function<void()> action);

  // ---- Message boxes ----
  // Queues answers for the next message boxes, in order; a box with no queued
  // answer takes its default button.
  HeadlessPresentation& AnswerMessageBox(int answer);
  const std::vector<MessageBoxRecord>& MessageBoxes() const { return m_boxes; }

  // ---- What happened ----
  bool ScriptExhausted() const { return m_steps.empty(); }
  std::size_t PendingSteps() const { return m_steps.size(); }
  // Captions of the windows closed because the script ran out.
  const std::vector<std::string>& ClosedOnExhaustion() const { return m_exhaustionCloses; }
  int BeepCount() const { return m_beeps; }
  // Steps that could not run (a control that is not there, nothing to
  // close); they are skipped.
  const std::vector<std::string>& ScriptErrors() const { return m_scriptErrors; }
  int InvalidationCount(HWND hWnd) const;
  void ClearRecords();

  // ---- Presentation ----
  bool WaitForInput() override;
  int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT type) override;
  void Beep(UINT type) override;
  void OnWindowInvalidated(HWND hWnd) override;

 private:
  HeadlessPresentation& AddStep(std::function<void()> step);
  HWND Control(int controlId);

  std::deque<std::function<void()>> m_steps;
  std::deque<int> m_answers;
  std::vector<MessageBoxRecord> m_boxes;
  std::vector<std::string> m_exhaustionCloses;
  std::vector<std::string> m_scriptErrors;
  std::map<HWND, int> m_invalidations;
  int m_beeps = 0;
};

}  // namespace win
