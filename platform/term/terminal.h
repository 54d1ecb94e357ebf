// The terminal presentation: draws every window of the window system on a
// character terminal and turns the terminal's keys and mouse into the window
// system's input. It runs on a TerminalDevice: the curses one
// (term/curses.h) for a person, a scripted one in tests.
//
//   win::term::CursesTerminal terminal;             // takes over the terminal
//   win::TerminalPresentation presentation(terminal);
//   win::PresentationScope scope(presentation);
//   dialog.DoModal();                                // drawn and driven here
//
// Dialog units map to cells (layout.h). Keys: what the window system's
// dialogs and controls understand (Tab, Shift+Tab, Enter, Escape, arrows,
// Home/End, Page Up/Down, Backspace, Delete, F1, Alt+letter for mnemonics);
// Ctrl-C closes the active window as its close box does, which cancels a
// dialog. Mouse: press, drag and release of the left button.
#pragma once

#include <optional>
#include <string>

#include "term/device.h"
#include "term/messagebox.h"
#include "term/painter.h"
#include "win/presentation.h"

namespace win {

class TerminalPresentation : public Presentation {
 public:
  explicit TerminalPresentation(term::TerminalDevice& device);
  ~TerminalPresentation() override;
  TerminalPresentation(const TerminalPresentation&) = delete;
  TerminalPresentation& operator=(const TerminalPresentation&) = delete;

  bool WaitForInput() override;
  void PollInput() override;
  int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT type) override;
  void Beep(UINT type) override;
  void OnWindowCreated(HWND hWnd) override;
  void OnWindowDestroyed(HWND hWnd) override;
  void OnWindowInvalidated(HWND hWnd) override;
  void OnFocusChanged(HWND lostFocus, HWND gainedFocus) override;

  // Draws the screen now if anything changed since it was last drawn (the
  // input loop does this before it waits).
  void Refresh();
  // Where everything was drawn last time.
  const term::ScreenMap& Map() const { return m_map; }

  // The bottom line when no message is showing.
  static const char* KeyHelp();

 private:
  // Handles one input event; true when it fed input to the window system.
  bool Handle(const term::InputEvent& event);
  void HandleMouse(const term::MouseInput& mouse);
  // Ctrl-C, or SIGINT: the active window is closed as by its close box.
  void Interrupt();
  void Draw();

  term::TerminalDevice& m_device;
  term::WindowPainter m_painter;
  term::ScreenMap m_map;
  bool m_dirty = true;
  int m_width = -1, m_height = -1;
  std::string m_notice;
  term::MessageBoxModel* m_box = nullptr;  // the box on screen, if any

  // The mouse button went down on this control (or close box) and is held.
  struct Press {
    HWND hwnd = nullptr;
    bool closeBox = false;
  };
  std::optional<Press> m_press;
};

}  // namespace win
