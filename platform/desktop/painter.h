// Paints the window system's windows with cairo and pango, one painter per
// control kind, from what DescribeWindow tells: nothing is kept but how far
// each edit field's text is scrolled. A window's layout puts each control
// where its dialog units fall with the desktop's font (metrics.h); what is
// painted is remembered as places, so that the mouse can be routed back to
// the window system's own pixels.
#pragma once

#include <cairo.h>
#include <pango/pango.h>

#include <map>
#include <string>
#include <vector>

#include "desktop/metrics.h"
#include "win/presentation.h"

namespace win::desktop {

struct Rgb {
  double r = 0, g = 0, b = 0;
  bool operator==(const Rgb& other) const { return r == other.r && g == other.g && b == other.b; }
};

// The colours every painter uses, by role; whole 8-bit values, so that an
// 8-bit image holds them exactly.
constexpr Rgb Byte(int r, int g, int b) { return Rgb{r / 255.0, g / 255.0, b / 255.0}; }
namespace colour {
inline constexpr Rgb kFace = Byte(240, 240, 240);  // a window's background
inline constexpr Rgb kButtonFace = Byte(252, 252, 252);  // a push button, an up-down's halves
inline constexpr Rgb kPushed = Byte(204, 204, 204);  // a push button held down
inline constexpr Rgb kField = Byte(255, 255, 255);  // an edit field, a check box, a channel
inline constexpr Rgb kShadow = Byte(160, 160, 160);  // frames of fields, buttons, boxes
inline constexpr Rgb kDark = Byte(51, 51, 51);  // the default button's frame, arrows
inline constexpr Rgb kText = Byte(0, 0, 0);
inline constexpr Rgb kDisabledText = Byte(143, 143, 143);
inline constexpr Rgb kSelection = Byte(53, 132, 228);  // selected text, a focused field's frame
inline constexpr Rgb kSelectedText = Byte(255, 255, 255);
inline constexpr Rgb kThumb = Byte(107, 107, 107);
inline constexpr Rgb kThumbActive = Byte(53, 132, 228);  // focused or being dragged
inline constexpr Rgb kTrack = Byte(219, 219, 219);  // a scroll bar's channel
}  // namespace colour

// A rectangle in logical pixels of a window's client area.
struct Box {
  int x = 0, y = 0, width = 0, height = 0;
  int Right() const { return x + width; }
  int Bottom() const { return y + height; }
  bool Contains(double px, double py) const { return px >= x && px < Right() && py >= y && py < Bottom(); }
  bool operator==(const Box& other) const {
    return x == other.x && y == other.y && width == other.width && height == other.height;
  }
};

// Where a window goes: its client size and its controls' boxes, in drawing
// order (children in their order, then their children).
struct WindowLayout {
  HWND hwnd = nullptr;
  DialogFont font;
  int width = 0, height = 0;  // the client area
  struct Control {
    WindowView view;
    Box box;
  };
  std::vector<Control> controls;
};

// Lays out a top-level window (as described) with `font`: a control made
// from the template at its dialog units, anything else scaled from the
// window system's pixels by the ratio of the two fonts' base units.
WindowLayout LayOutWindow(const WindowView& window, const DialogFont& font);

// What a painter left where.
struct ControlPlace {
  HWND hwnd = nullptr;
  ControlKind kind = ControlKind::Other;
  Box box;
  RECT windowRect{};  // the same control in the window system's screen pixels
  bool frame = false;  // a group box: the mouse goes through to what it frames
  // An edit field: the x of each caret position, 0 to the number of
  // characters, after scrolling.
  std::vector<double> caretX;
};

// Text of a label or button as shown: "&" marks the next character as the
// mnemonic and is not shown ("&&" shows one "&"). `mnemonicByte` gets the
// byte offset of the mnemonic in the result, or -1.
std::string StripMnemonic(const std::string& text, int* mnemonicByte = nullptr);

// How an edit's text is scrolled sideways, in pixels, and the edit's counts
// of caret showings and text settings when it was last drawn: a field
// shows its text from the start and scrolls only when the caret is to be
// shown (WindowView::Edit).
struct EditScroll {
  int pixels = 0;
  unsigned caretShown = 0;
  unsigned textSet = 0;
};

// How a control is painted beyond what its view says.
struct PaintContext {
  cairo_t* cr = nullptr;
  PangoContext* pango = nullptr;
  const DialogFont* font = nullptr;
  bool windowActive = true;  // the window has the keyboard: focus and caret show
  EditScroll* editScroll = nullptr;  // an edit's scroll, kept from one painting to the next
};

// Paints one control into `box` (clipped to it) and tells where.
ControlPlace PaintControl(const PaintContext& paint, const WindowView& view, const Box& box);

class WindowPainter {
 public:
  // Paints the client area of a laid-out window; the places in drawing
  // order.
  std::vector<ControlPlace> Paint(cairo_t* cr, PangoContext* pango, const WindowLayout& layout, bool windowActive);
  // A window is gone: forget how its text was scrolled.
  void Forget(HWND hwnd) { m_editScroll.erase(hwnd); }

 private:
  std::map<HWND, EditScroll> m_editScroll;
};

// The top-most control at a point of the client area (group boxes let the
// mouse through); null when there is none.
const ControlPlace* ControlAt(const std::vector<ControlPlace>& places, double x, double y);

// Where a point of the client area falls in the window system's screen
// pixels, for the control the mouse went down on (so for a point off the
// control too, as while the control has the mouse captured): in an edit
// field, before the character the desktop drew there, as the field itself
// measures text; elsewhere at the same place in proportion. A `press` is
// kept on the control, since the window system routes it by its point.
POINT WindowSystemPoint(const ControlPlace& place, double x, double y, bool press);

}  // namespace win::desktop
