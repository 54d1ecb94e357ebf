// Draws the window system's windows onto a canvas, and remembers where each
// one went, so that the mouse can be routed and the caret placed.
#pragma once

#include <map>
#include <optional>
#include <vector>

#include "term/canvas.h"
#include "win/presentation.h"

namespace win::term {

struct ControlPlace {
  HWND hwnd = nullptr;
  ControlKind kind = ControlKind::Other;
  CellRect cells;  // on the screen
  CellRect face;   // what answers the mouse: a button's face, else `cells`
  // Edit fields: the first text column and the first character shown there.
  int textLeft = 0;
  int firstChar = 0;
  // Trackbars and scroll bars: the cells of the channel (the arrows of a
  // scroll bar excluded) and the thumb's cell along it.
  CellRect track;
  int thumbCell = 0;
  bool vertical = false;
  bool frame = false;  // a group box: the mouse goes through to what it frames
};

struct WindowPlace {
  HWND hwnd = nullptr;
  CellRect frame;     // the window with its frame, on the screen
  CellRect client;    // inside the frame
  CellRect closeBox;  // empty without one
  std::vector<ControlPlace> controls;  // in drawing order
};

struct ScreenMap {
  std::vector<WindowPlace> windows;  // bottom first
  std::optional<CellPoint> cursor;   // the caret, or the focused control

  // The top-most window at a cell, and its control there (the last drawn).
  const WindowPlace* WindowAt(int x, int y) const;
  const ControlPlace* ControlAt(const WindowPlace& window, int x, int y) const;
  const ControlPlace* Find(HWND hwnd) const;
};

class WindowPainter {
 public:
  // Draws every visible top-level window, bottom first, each centred on the
  // canvas above its last row, which is left for `statusLine`. Behind a
  // message box no window is drawn active and no caret is shown.
  ScreenMap Paint(Canvas& canvas, const std::string& statusLine, Style statusStyle, bool behindMessageBox = false);

  // A window is gone: forget how its text was scrolled.
  void Forget(HWND hwnd) { m_fields.erase(hwnd); }

 private:
  void PaintWindow(Canvas& canvas, const WindowView& window, int screenHeight, ScreenMap& map);
  void PaintControl(Canvas& canvas, const WindowView& view, const CellRect& cells, bool activeWindow,
                    WindowPlace& place, ScreenMap& map);
  void PaintEdit(Canvas& canvas, const WindowView& view, const CellRect& cells, ControlPlace& place,
                 bool activeWindow, ScreenMap& map);

  // How each edit field is scrolled sideways, and the field's counts of
  // caret showings and text settings when it was last drawn.
  struct FieldScroll {
    int first = 0;
    unsigned caretShown = 0;
    unsigned textSet = 0;
  };
  std::map<HWND, FieldScroll> m_fields;
  bool m_behindMessageBox = false;
};

}  // namespace win::term
