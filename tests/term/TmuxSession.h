// A program run in a real pseudo-terminal: a detached tmux session of a
// fixed size, with TERM and the locale set, that tests type into and read
// the screen of. Every wait polls the screen against a deadline, so nothing
// depends on how fast the machine is.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace term_test {

class TmuxSession {
 public:
  // True when tmux can be run here.
  static bool Available();

  // Starts `command` (a program and its arguments) in an 80 by 24 terminal
  // of type xterm-256color, without a desktop (DISPLAY is unset).
  explicit TmuxSession(const std::vector<std::string>& command, int width = 80, int height = 24);
  ~TmuxSession();
  TmuxSession(const TmuxSession&) = delete;
  TmuxSession& operator=(const TmuxSession&) = delete;

  // The screen as lines of text (trailing blanks dropped).
  std::vector<std::string> Screen() const;
  std::string ScreenText() const;
  // Polls until `ready` holds for the screen; false after the deadline.
  bool WaitUntil(const std::function<bool(const std::vector<std::string>&)>& ready) const;
  bool WaitForText(const std::string& text) const;
  bool WaitForTextGone(const std::string& text) const;

  // tmux key names ("Tab", "Enter", "M-v", "F1", "C-c") and plain text.
  void Keys(const std::vector<std::string>& keys) const;
  // Bytes the terminal sends as they are (an xterm mouse report, say).
  void Bytes(const std::string& bytes) const;
  void Resize(int width, int height) const;

  // A tmux format of the pane: "#{cursor_x}", "#{alternate_on}", ...
  std::string Query(const std::string& format) const;
  int CursorX() const;
  int CursorY() const;

  // The process id of the program (not of the shell around it); 0 when it
  // is not running.
  int ProgramPid() const;
  // Waits for the program to end and returns its exit status (128 + n after
  // signal n), or -1 after the deadline.
  int WaitForExit() const;
  // After the program ended: the terminal's modes (stty) are as before it
  // ran, and the screen is the normal one with the cursor shown, no mouse
  // reporting and no application keypad.
  ::testing::AssertionResult TerminalRestored() const;

  static constexpr std::chrono::seconds kDeadline{30};

 private:
  std::string Tmux(const std::vector<std::string>& arguments) const;

  std::string m_socket;
  std::string m_directory;
  std::string m_program;
};

}  // namespace term_test
