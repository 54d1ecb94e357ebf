#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>

#include "desktop/painter.h"
#include "win/commctrl.h"

namespace win::desktop {
namespace {

// The window system's own pixels per 4 and 8 dialog units of a window: its
// dialog's base units, or the system's for a window made without a template.
struct SystemUnits {
  int x = 8, y = 16;
};

SystemUnits SystemUnitsOf(const WindowView& window) {
  if (window.kind == ControlKind::Dialog && window.dialog.baseUnitX > 0 && window.dialog.baseUnitY > 0) {
    return SystemUnits{window.dialog.baseUnitX, window.dialog.baseUnitY};
  }
  return SystemUnits{};
}

int Scale(long value, int to, int from) {
  return static_cast<int>(std::lround(static_cast<double>(value) * to / std::max(from, 1)));
}

std::vector<HWND> Descendants(HWND hwnd) {
  std::vector<HWND> all = ChildWindows(hwnd);
  for (std::size_t i = 0; i < all.size(); ++i) {
    std::vector<HWND> children = ChildWindows(all[i]);
    all.insert(all.end(), children.begin(), children.end());
  }
  return all;
}

int WidthOf(const RECT& r) { return static_cast<int>(r.right - r.left); }
int HeightOf(const RECT& r) { return static_cast<int>(r.bottom - r.top); }

// ---- Drawing helpers ---------------------------------------------------------------
void SetColour(cairo_t* cr, const Rgb& c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

void FillBox(cairo_t* cr, const Box& box, const Rgb& c) {
  if (box.width <= 0 || box.height <= 0) return;
  SetColour(cr, c);
  cairo_rectangle(cr, box.x, box.y, box.width, box.height);
  cairo_fill(cr);
}

// A frame `thickness` pixels wide just inside `box`, as whole pixels.
void FrameBox(cairo_t* cr, const Box& box, const Rgb& c, int thickness = 1) {
  if (box.width <= 0 || box.height <= 0) return;
  const int t = std::min({thickness, (box.width + 1) / 2, (box.height + 1) / 2});
  SetColour(cr, c);
  cairo_rectangle(cr, box.x, box.y, box.width, t);
  cairo_rectangle(cr, box.x, box.Bottom() - t, box.width, t);
  cairo_rectangle(cr, box.x, box.y + t, t, box.height - 2 * t);
  cairo_rectangle(cr, box.Right() - t, box.y + t, t, box.height - 2 * t);
  cairo_fill(cr);
}

Box Inset(const Box& box, int by) { return Box{box.x + by, box.y + by, box.width - 2 * by, box.height - 2 * by}; }

// A dotted rectangle: the keyboard focus on a button or label.
void FocusRect(cairo_t* cr, const Box& box) {
  if (box.width <= 1 || box.height <= 1) return;
  cairo_save(cr);
  SetColour(cr, colour::kText);
  cairo_set_line_width(cr, 1.0);
  const double dash[] = {1.0, 1.0};
  cairo_set_dash(cr, dash, 2, 0.0);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_rectangle(cr, box.x + 0.5, box.y + 0.5, box.width - 1, box.height - 1);
  cairo_stroke(cr);
  cairo_restore(cr);
}

enum class Direction { Up, Down, Left, Right };

// A filled triangle pointing `direction`, centred in `box`.
void Arrow(cairo_t* cr, const Box& box, Direction direction, const Rgb& c) {
  const double size = std::max(2.0, std::min(box.width, box.height) * 0.5);
  const double cx = box.x + box.width / 2.0, cy = box.y + box.height / 2.0;
  const double h = size / 2.0;
  SetColour(cr, c);
  switch (direction) {
    case Direction::Up:
      cairo_move_to(cr, cx - h, cy + h / 2);
      cairo_line_to(cr, cx + h, cy + h / 2);
      cairo_line_to(cr, cx, cy - h / 2);
      break;
    case Direction::Down:
      cairo_move_to(cr, cx - h, cy - h / 2);
      cairo_line_to(cr, cx + h, cy - h / 2);
      cairo_line_to(cr, cx, cy + h / 2);
      break;
    case Direction::Left:
      cairo_move_to(cr, cx + h / 2, cy - h);
      cairo_line_to(cr, cx + h / 2, cy + h);
      cairo_line_to(cr, cx - h / 2, cy);
      break;
    case Direction::Right:
      cairo_move_to(cr, cx - h / 2, cy - h);
      cairo_line_to(cr, cx - h / 2, cy + h);
      cairo_line_to(cr, cx + h / 2, cy);
      break;
  }
  cairo_close_path(cr);
  cairo_fill(cr);
}

// A layout of one paragraph in the dialog font, the mnemonic underlined.
PangoLayout* TextLayout(const PaintContext& paint, const std::string& text, int mnemonicByte) {
  PangoLayout* layout = pango_layout_new(paint.pango);
  PangoFontDescription* description = paint.font->Description();
  pango_layout_set_font_description(layout, description);
  pango_font_description_free(description);
  pango_layout_set_text(layout, text.c_str(), static_cast<int>(text.size()));
  if (mnemonicByte >= 0 && mnemonicByte < static_cast<int>(text.size())) {
    PangoAttrList* attributes = pango_attr_list_new();
    PangoAttribute* underline = pango_attr_underline_new(PANGO_UNDERLINE_SINGLE);
    underline->start_index = static_cast<guint>(mnemonicByte);
    const char* at = text.c_str() + mnemonicByte;
    underline->end_index = static_cast<guint>(g_utf8_next_char(at) - text.c_str());
    pango_attr_list_insert(attributes, underline);
    pango_layout_set_attributes(layout, attributes);
    pango_attr_list_unref(attributes);
  }
  return layout;
}

struct TextSize {
  int width = 0, height = 0;
};

TextSize SizeOf(PangoLayout* layout) {
  int width = 0, height = 0;
  pango_layout_get_pixel_size(layout, &width, &height);
  return TextSize{width, height};
}

void ShowLayout(cairo_t* cr, PangoLayout* layout, double x, double y, const Rgb& c) {
  SetColour(cr, c);
  cairo_move_to(cr, x, y);
  pango_cairo_show_layout(cr, layout);
}

// ---- The painters, one per control kind ----------------------------------------------
struct Control {
  const PaintContext& paint;
  const WindowView& view;
  const Box& box;
  ControlPlace& place;
  bool focused;  // has the keyboard focus, in the window that has the keyboard
  std::string text;
  int mnemonic = -1;
};

DWORD ButtonType(const WindowView& view) { return view.style & BS_TYPEMASK; }
bool IsCheckBox(const WindowView& view) {
  return ButtonType(view) == BS_CHECKBOX || ButtonType(view) == BS_AUTOCHECKBOX;
}
bool IsGroupBox(const WindowView& view) { return ButtonType(view) == BS_GROUPBOX; }
Rgb TextColour(const WindowView& view) { return view.enabled ? colour::kText : colour::kDisabledText; }

void PaintStatic(Control& c) {
  cairo_t* cr = c.paint.cr;
  const DWORD type = c.view.style & SS_TYPEMASK;
  PangoLayout* layout = TextLayout(c.paint, c.text, c.mnemonic);
  if (type != SS_LEFTNOWORDWRAP) {
    pango_layout_set_width(layout, c.box.width * PANGO_SCALE);
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  }
  if (type == SS_CENTER) pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER);
  if (type == SS_RIGHT) pango_layout_set_alignment(layout, PANGO_ALIGN_RIGHT);
  ShowLayout(cr, layout, c.box.x, c.box.y, TextColour(c.view));
  g_object_unref(layout);
}

void PaintGroupBox(Control& c) {
  cairo_t* cr = c.paint.cr;
  c.place.frame = true;
  PangoLayout* layout = TextLayout(c.paint, c.text, c.mnemonic);
  const TextSize size = SizeOf(layout);
  // The frame runs through the middle of the caption's line.
  const int top = c.box.y + size.height / 2;
  FrameBox(cr, Box{c.box.x, top, c.box.width, c.box.Bottom() - top}, colour::kShadow);
  if (!c.text.empty()) {
    const int captionX = c.box.x + c.paint.font->baseUnitX;
    const int width = std::min(size.width + 4, std::max(c.box.Right() - captionX - 2, 0));
    FillBox(cr, Box{captionX, c.box.y, width, size.height}, colour::kFace);
    ShowLayout(cr, layout, captionX + 2, c.box.y, TextColour(c.view));
  }
  g_object_unref(layout);
}

void PaintCheckBox(Control& c) {
  cairo_t* cr = c.paint.cr;
  // A square as high as a line of text, at most the control's height.
  const int side = std::max(4, std::min({c.paint.font->baseUnitY, c.box.height, c.box.width}));
  const Box square{c.box.x, c.box.y + (c.box.height - side) / 2, side, side};
  FillBox(cr, square, colour::kField);
  FrameBox(cr, square, c.focused ? colour::kSelection : colour::kShadow);
  if (c.view.button.checked) {
    cairo_save(cr);
    SetColour(cr, TextColour(c.view));
    cairo_set_line_width(cr, std::max(1.5, side / 6.0));
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_move_to(cr, square.x + side * 0.22, square.y + side * 0.52);
    cairo_line_to(cr, square.x + side * 0.42, square.y + side * 0.74);
    cairo_line_to(cr, square.x + side * 0.78, square.y + side * 0.28);
    cairo_stroke(cr);
    cairo_restore(cr);
  }
  PangoLayout* layout = TextLayout(c.paint, c.text, c.mnemonic);
  const TextSize size = SizeOf(layout);
  const int textX = square.Right() + std::max(2, c.paint.font->baseUnitX / 2);
  const int textY = c.box.y + (c.box.height - size.height) / 2;
  ShowLayout(cr, layout, textX, textY, TextColour(c.view));
  if (c.focused) FocusRect(cr, Box{textX - 1, textY, std::min(size.width + 2, c.box.Right() - textX + 1), size.height});
  g_object_unref(layout);
}

void PaintPushButton(Control& c) {
  cairo_t* cr = c.paint.cr;
  const bool pushed = c.view.button.pushed;
  FillBox(cr, c.box, pushed ? colour::kPushed : colour::kButtonFace);
  // The button Enter presses has a frame twice as thick, in the dark colour.
  if (c.view.button.isDefault) {
    FrameBox(cr, c.box, colour::kDark, 2);
  } else {
    FrameBox(cr, c.box, colour::kShadow, 1);
  }
  PangoLayout* layout = TextLayout(c.paint, c.text, c.mnemonic);
  const TextSize size = SizeOf(layout);
  const int shift = pushed ? 1 : 0;
  ShowLayout(cr, layout, c.box.x + (c.box.width - size.width) / 2 + shift,
             c.box.y + (c.box.height - size.height) / 2 + shift, TextColour(c.view));
  if (c.focused) FocusRect(cr, Inset(c.box, 3));
  g_object_unref(layout);
}

void PaintButton(Control& c) {
  if (IsGroupBox(c.view)) return PaintGroupBox(c);
  if (IsCheckBox(c.view)) return PaintCheckBox(c);
  PaintPushButton(c);
}

std::size_t CharCount(const std::string& text) {
  return static_cast<std::size_t>(g_utf8_strlen(text.c_str(), static_cast<gssize>(text.size())));
}

// The character index of a byte offset of `text`.
int CharIndexOfByte(const std::string& text, int byteOffset) {
  const int clamped = std::clamp(byteOffset, 0, static_cast<int>(text.size()));
  return static_cast<int>(g_utf8_pointer_to_offset(text.c_str(), text.c_str() + clamped));
}

// The text from its start; scrolled only as far as the caret needs when it
// is to be shown, and kept full when the text allows.
int ScrollEdit(EditScroll* memo, const WindowView::Edit& edit, int caretX, int room, int textWidth) {
  EditScroll none;
  EditScroll& kept = memo != nullptr ? *memo : none;
  int scroll = kept.textSet != edit.textSet ? 0 : kept.pixels;
  if (memo == nullptr || kept.caretShown != edit.caretShown) {
    if (caretX < scroll) scroll = caretX;
    if (caretX > scroll + room) scroll = caretX - room;
  }
  scroll = std::clamp(scroll, 0, std::max(textWidth - room, 0));
  kept = EditScroll{scroll, edit.caretShown, edit.textSet};
  return scroll;
}

void PaintEdit(Control& c) {
  cairo_t* cr = c.paint.cr;
  const WindowView& view = c.view;
  const bool border = (view.style & WS_BORDER) != 0;
  FillBox(cr, c.box, view.enabled && !view.edit.readOnly ? colour::kField : colour::kFace);
  if (border) FrameBox(cr, c.box, c.focused ? colour::kSelection : colour::kShadow);
  const Box inner = Inset(c.box, border ? 1 : 0);
  const int padding = 2;

  const std::size_t length = CharCount(view.text);
  const std::string shown = view.edit.password ? std::string(length, '*') : view.text;
  PangoLayout* layout = TextLayout(c.paint, shown, -1);
  const TextSize size = SizeOf(layout);
  const int caret = CharIndexOfByte(view.text, view.edit.caret);
  const int selStart = CharIndexOfByte(view.text, view.edit.selStart);
  const int selEnd = CharIndexOfByte(view.text, view.edit.selEnd);
  auto xOfChar = [&](int index) {
    const char* at = g_utf8_offset_to_pointer(shown.c_str(), index);
    PangoRectangle pos;
    pango_layout_index_to_pos(layout, static_cast<int>(at - shown.c_str()), &pos);
    return static_cast<double>(pos.x) / PANGO_SCALE;
  };

  const int room = std::max(inner.width - 2 * padding - 1, 1);
  const int caretX = static_cast<int>(std::lround(xOfChar(caret)));
  const int scroll = ScrollEdit(c.paint.editScroll, view.edit, caretX, room, size.width);

  const double originX = inner.x + padding - scroll;
  const double originY = inner.y + (inner.height - size.height) / 2.0;
  c.place.caretX.clear();
  for (std::size_t i = 0; i <= length; ++i) c.place.caretX.push_back(originX + xOfChar(static_cast<int>(i)));

  cairo_save(cr);
  cairo_rectangle(cr, inner.x, inner.y, inner.width, inner.height);
  cairo_clip(cr);
  ShowLayout(cr, layout, originX, originY, TextColour(view));
  if (c.focused && selStart != selEnd) {
    // The selection: its own background, the text over it in its colour.
    const int left = static_cast<int>(std::floor(c.place.caretX[static_cast<std::size_t>(selStart)]));
    const int right = static_cast<int>(std::ceil(c.place.caretX[static_cast<std::size_t>(selEnd)]));
    const Box selection{left, static_cast<int>(std::floor(originY)), right - left, size.height};
    FillBox(cr, selection, colour::kSelection);
    cairo_rectangle(cr, selection.x, selection.y, selection.width, selection.height);
    cairo_clip(cr);
    ShowLayout(cr, layout, originX, originY, colour::kSelectedText);
  }
  cairo_restore(cr);
  if (c.focused && c.paint.windowActive) {
    const int x = static_cast<int>(std::lround(c.place.caretX[static_cast<std::size_t>(caret)]));
    FillBox(cr, Box{std::min(x, inner.Right() - 1), static_cast<int>(std::floor(originY)), 1, size.height},
            colour::kText);
  }
  g_object_unref(layout);
}

// A rectangle of the control's client pixels in the window system, placed
// in proportion on the control's box here.
Box ScaledFromSystem(const RECT& rect, const WindowView& view, const Box& box) {
  const int width = WidthOf(view.clientRect), height = HeightOf(view.clientRect);
  const int left = box.x + Scale(rect.left, box.width, width);
  const int top = box.y + Scale(rect.top, box.height, height);
  const int right = box.x + Scale(rect.right, box.width, width);
  const int bottom = box.y + Scale(rect.bottom, box.height, height);
  return Box{left, top, std::max(right - left, 1), std::max(bottom - top, 1)};
}

Rgb ThumbColour(const Control& c) {
  if (!c.view.enabled) return colour::kDisabledText;
  return c.focused || c.view.range.tracking ? colour::kThumbActive : colour::kThumb;
}

// The channel and thumb stand where the trackbar itself puts them, so that
// a press on the thumb drawn here is a press on the trackbar's thumb.
void PaintTrackbar(Control& c) {
  cairo_t* cr = c.paint.cr;
  const Box channel = ScaledFromSystem(c.view.channelRect, c.view, c.box);
  FillBox(cr, channel, colour::kField);
  FrameBox(cr, channel, colour::kShadow);
  if ((c.view.style & TBS_NOTHUMB) == 0) {
    const Box thumb = ScaledFromSystem(c.view.thumbRect, c.view, c.box);
    FillBox(cr, thumb, ThumbColour(c));
    FrameBox(cr, thumb, colour::kDark);
  }
}

void PaintScrollBar(Control& c) {
  cairo_t* cr = c.paint.cr;
  const bool vertical = (c.view.style & SBS_VERT) != 0;
  FillBox(cr, c.box, colour::kTrack);
  // Arrow buttons at the ends, as long as the bar is thick.
  const int arrow = vertical ? std::min(c.box.width, c.box.height / 2) : std::min(c.box.height, c.box.width / 2);
  const Box first = vertical ? Box{c.box.x, c.box.y, c.box.width, arrow} : Box{c.box.x, c.box.y, arrow, c.box.height};
  const Box last = vertical ? Box{c.box.x, c.box.Bottom() - arrow, c.box.width, arrow}
                            : Box{c.box.Right() - arrow, c.box.y, arrow, c.box.height};
  const Rgb ink = c.view.enabled ? colour::kDark : colour::kDisabledText;
  for (const Box& end : {first, last}) {
    FillBox(cr, end, colour::kButtonFace);
    FrameBox(cr, end, colour::kShadow);
  }
  Arrow(cr, first, vertical ? Direction::Up : Direction::Left, ink);
  Arrow(cr, last, vertical ? Direction::Down : Direction::Right, ink);
  const RECT& thumbRect = c.view.thumbRect;
  if (thumbRect.right > thumbRect.left && thumbRect.bottom > thumbRect.top) {
    const Box thumb = ScaledFromSystem(thumbRect, c.view, c.box);
    FillBox(cr, thumb, ThumbColour(c));
  }
}

void PaintUpDown(Control& c) {
  cairo_t* cr = c.paint.cr;
  const bool horizontal = (c.view.style & UDS_HORZ) != 0;
  const Rgb ink = c.view.enabled ? colour::kDark : colour::kDisabledText;
  Box first = c.box, second = c.box;
  if (horizontal) {
    first.width = c.box.width / 2;
    second.x = first.Right();
    second.width = c.box.width - first.width;
  } else {
    first.height = c.box.height / 2;
    second.y = first.Bottom();
    second.height = c.box.height - first.height;
  }
  for (const Box& half : {first, second}) {
    FillBox(cr, half, colour::kButtonFace);
    FrameBox(cr, half, colour::kShadow);
  }
  Arrow(cr, first, horizontal ? Direction::Left : Direction::Up, ink);
  Arrow(cr, second, horizontal ? Direction::Right : Direction::Down, ink);
}

void PaintOther(Control& c) {
  FillBox(c.paint.cr, c.box, colour::kFace);
  if ((c.view.style & WS_BORDER) != 0) FrameBox(c.paint.cr, c.box, colour::kShadow);
}

bool ShowsMnemonic(const WindowView& view) {
  return view.kind != ControlKind::Static || (view.style & SS_NOPREFIX) == 0;
}

}  // namespace

std::string StripMnemonic(const std::string& text, int* mnemonicByte) {
  std::string shown;
  int mnemonic = -1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) {
      ++i;
      if (text[i] != '&' && mnemonic < 0) mnemonic = static_cast<int>(shown.size());
    }
    shown.push_back(text[i]);
  }
  if (mnemonicByte != nullptr) *mnemonicByte = mnemonic;
  return shown;
}

WindowLayout LayOutWindow(const WindowView& window, const DialogFont& font) {
  WindowLayout layout;
  layout.hwnd = window.hwnd;
  layout.font = font;
  const SystemUnits units = SystemUnitsOf(window);
  if (window.hasDialogUnits) {
    layout.width = font.X(window.dialogUnits.right - window.dialogUnits.left);
    layout.height = font.Y(window.dialogUnits.bottom - window.dialogUnits.top);
  } else {
    layout.width = Scale(WidthOf(window.clientRect), font.baseUnitX, units.x);
    layout.height = Scale(HeightOf(window.clientRect), font.baseUnitY, units.y);
  }
  for (HWND child : Descendants(window.hwnd)) {
    WindowView view;
    if (!DescribeWindow(child, &view) || !view.visible) continue;
    Box box;
    if (view.parent == window.hwnd && view.hasDialogUnits) {
      const RECT& du = view.dialogUnits;
      box.x = font.X(du.left);
      box.y = font.Y(du.top);
      box.width = font.X(du.right) - box.x;
      box.height = font.Y(du.bottom) - box.y;
    } else {
      const long left = view.windowRect.left - window.clientRect.left;
      const long top = view.windowRect.top - window.clientRect.top;
      box.x = Scale(left, font.baseUnitX, units.x);
      box.y = Scale(top, font.baseUnitY, units.y);
      box.width = Scale(left + WidthOf(view.windowRect), font.baseUnitX, units.x) - box.x;
      box.height = Scale(top + HeightOf(view.windowRect), font.baseUnitY, units.y) - box.y;
    }
    layout.controls.push_back(WindowLayout::Control{std::move(view), box});
  }
  return layout;
}

ControlPlace PaintControl(const PaintContext& paint, const WindowView& view, const Box& box) {
  ControlPlace place;
  place.hwnd = view.hwnd;
  place.kind = view.kind;
  place.box = box;
  place.windowRect = view.windowRect;
  int mnemonic = -1;
  std::string text = ShowsMnemonic(view) ? StripMnemonic(view.text, &mnemonic) : view.text;
  Control control{paint, view, box, place, view.focused && paint.windowActive, std::move(text), mnemonic};
  cairo_t* cr = paint.cr;
  cairo_save(cr);
  cairo_rectangle(cr, box.x, box.y, box.width, box.height);
  cairo_clip(cr);
  switch (view.kind) {
    case ControlKind::Static:
      PaintStatic(control);
      break;
    case ControlKind::Edit:
      PaintEdit(control);
      break;
    case ControlKind::Button:
      PaintButton(control);
      break;
    case ControlKind::Trackbar:
      PaintTrackbar(control);
      break;
    case ControlKind::ScrollBar:
      PaintScrollBar(control);
      break;
    case ControlKind::UpDown:
      PaintUpDown(control);
      break;
    case ControlKind::Dialog:
    case ControlKind::Other:
      PaintOther(control);
      break;
  }
  cairo_restore(cr);
  return place;
}

std::vector<ControlPlace> WindowPainter::Paint(cairo_t* cr, PangoContext* pango, const WindowLayout& layout,
                                               bool windowActive) {
  FillBox(cr, Box{0, 0, layout.width, layout.height}, colour::kFace);
  std::vector<ControlPlace> places;
  for (const WindowLayout::Control& control : layout.controls) {
    PaintContext paint{cr, pango, &layout.font, windowActive, &m_editScroll[control.view.hwnd]};
    places.push_back(PaintControl(paint, control.view, control.box));
  }
  return places;
}

const ControlPlace* ControlAt(const std::vector<ControlPlace>& places, double x, double y) {
  for (auto it = places.rbegin(); it != places.rend(); ++it) {
    if (!it->frame && it->box.Contains(x, y)) return &*it;
  }
  return nullptr;
}

namespace {

// Pixels per character of the dialog a control belongs to: what an edit
// field measures its text with.
int CharWidthOf(HWND control) {
  WindowView view;
  for (HWND at = control; at != nullptr; at = view.parent) {
    if (!DescribeWindow(at, &view)) break;
    if (view.kind == ControlKind::Dialog && view.dialog.baseUnitX > 0) return view.dialog.baseUnitX;
  }
  return SystemUnits{}.x;
}

}  // namespace

POINT WindowSystemPoint(const ControlPlace& place, double x, double y, bool press) {
  const RECT& r = place.windowRect;
  POINT point;
  if (place.kind == ControlKind::Edit && !place.caretX.empty()) {
    // The caret position nearest to the point.
    std::size_t nearest = 0;
    for (std::size_t i = 1; i < place.caretX.size(); ++i) {
      if (std::abs(place.caretX[i] - x) < std::abs(place.caretX[nearest] - x)) nearest = i;
    }
    RECT client{};
    GetClientRect(place.hwnd, &client);
    point = POINT{static_cast<LONG>(nearest) * CharWidthOf(place.hwnd) + 1, client.bottom / 2};
    ClientToScreen(place.hwnd, &point);
  } else {
    const double fx = (x - place.box.x) / std::max(place.box.width, 1);
    const double fy = (y - place.box.y) / std::max(place.box.height, 1);
    point = POINT{r.left + static_cast<LONG>(std::floor(fx * WidthOf(r))),
                  r.top + static_cast<LONG>(std::floor(fy * HeightOf(r)))};
  }
  if (press) {
    // A press goes to the control it was made on: the window system routes
    // it by the point.
    point.x = std::clamp<LONG>(point.x, r.left, std::max<LONG>(r.left, r.right - 1));
    point.y = std::clamp<LONG>(point.y, r.top, std::max<LONG>(r.top, r.bottom - 1));
  }
  return point;
}

}  // namespace win::desktop
