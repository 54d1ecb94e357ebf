// The terminal as the presentation sees it: a screen of cells to show a
// canvas on, and a source of input. The curses device is the real one;
// tests drive the presentation through a scripted one.
#pragma once

#include <optional>
#include <string>

#include "term/canvas.h"
#include "term/input.h"

namespace win::term {

class TerminalDevice {
 public:
  virtual ~TerminalDevice() = default;

  // The screen's size in cells now.
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // Shows the canvas (drawn at the screen's size), with the cursor at
  // `cursor` or hidden.
  virtual void Show(const Canvas& canvas, std::optional<CellPoint> cursor) = 0;
  // The next input; with `wait` false, None when nothing is ready.
  virtual InputEvent ReadInput(bool wait) = 0;
  virtual void Beep() {}
  // The newest line that something in the process wrote to stderr while the
  // screen was up (such text would tear the screen, so the device keeps it
  // and shows it again when it closes); empty when nothing new came.
  virtual std::string TakeNotice() { return {}; }
};

}  // namespace win::term
