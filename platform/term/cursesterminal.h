// The real terminal, through curses: the process's standard input and output
// when both are a terminal. While a CursesTerminal lives it owns the screen
// (the alternate screen, raw keys, the mouse), and it gives the terminal back
// as it found it on every way out: its destructor, an exception unwinding
// through it, and the signals that end the process (SIGTERM, SIGHUP, SIGQUIT
// and the crash signals) restore the terminal before the program's own
// handling of them runs. SIGINT, which a raw terminal does not send for
// Ctrl-C, reads as an Interrupt while it lives. What the process writes to
// stderr meanwhile would tear the screen: it is kept, its newest line is a
// notice, and all of it is written to stderr when the screen is given back.
#pragma once

#include <deque>
#include <memory>
#include <string>

#include "term/device.h"

namespace win::term {

// Why the curses terminal cannot be used now (no terminal on stdin or
// stdout, an unknown TERM), or empty when it can.
std::string TerminalUnavailableReason();

class CursesTerminal final : public TerminalDevice {
 public:
  // Throws std::runtime_error with TerminalUnavailableReason() when the
  // terminal cannot be used, or when another CursesTerminal lives.
  CursesTerminal();
  ~CursesTerminal() override;
  CursesTerminal(const CursesTerminal&) = delete;
  CursesTerminal& operator=(const CursesTerminal&) = delete;

  int Width() const override;
  int Height() const override;
  void Show(const Canvas& canvas, std::optional<CellPoint> cursor) override;
  InputEvent ReadInput(bool wait) override;
  void Beep() override;
  std::string TakeNotice() override;

 private:
  struct Session;
  std::unique_ptr<Session> m_session;
  std::deque<InputEvent> m_pending;
};

}  // namespace win::term
