#include "term/painter.h"

#include <algorithm>

#include "term/layout.h"
#include "win/commctrl.h"

namespace win::term {
namespace {

// Pixels per 4 horizontal and 8 vertical dialog units of a top-level
// window; a window made from no template uses the system's base units.
struct BaseUnits {
  int x = 8, y = 16;
};

DWORD ButtonType(const WindowView& view) { return view.style & BS_TYPEMASK; }
bool IsPushButton(const WindowView& view) {
  return view.kind == ControlKind::Button && (ButtonType(view) == BS_PUSHBUTTON || ButtonType(view) == BS_DEFPUSHBUTTON);
}
bool IsCheckBox(const WindowView& view) {
  return view.kind == ControlKind::Button && (ButtonType(view) == BS_CHECKBOX || ButtonType(view) == BS_AUTOCHECKBOX);
}
bool IsGroupBox(const WindowView& view) {
  return view.kind == ControlKind::Button && ButtonType(view) == BS_GROUPBOX;
}
bool ShowsMnemonic(const WindowView& view) {
  return view.kind != ControlKind::Static || (view.style & SS_NOPREFIX) == 0;
}

std::string ShownText(const WindowView& view, int* mnemonic) {
  if (!ShowsMnemonic(view)) {
    if (mnemonic != nullptr) *mnemonic = -1;
    return view.text;
  }
  return StripMnemonic(view.text, mnemonic);
}

// A control's rectangle in dialog units of its top-level window.
RECT DialogUnitsOf(const WindowView& view, const WindowView& top, BaseUnits units, bool directChild) {
  if (directChild && view.hasDialogUnits) return view.dialogUnits;
  const int left = view.windowRect.left - top.clientRect.left;
  const int topY = view.windowRect.top - top.clientRect.top;
  const int right = view.windowRect.right - top.clientRect.left;
  const int bottom = view.windowRect.bottom - top.clientRect.top;
  return RECT{left * 4 / units.x, topY * 8 / units.y, right * 4 / units.x, bottom * 8 / units.y};
}

bool IsSingleRow(const WindowView& view, const RECT& du) {
  switch (view.kind) {
    case ControlKind::Edit:
      return (view.style & ES_MULTILINE) == 0;
    case ControlKind::Button:
      return !IsGroupBox(view);
    case ControlKind::Trackbar:
      return !view.range.vertical;
    case ControlKind::ScrollBar:
      return (view.style & SBS_VERT) == 0;
    default:
      return du.bottom - du.top < 2 * kDialogUnitsPerRow;
  }
}

int ColumnsNeeded(const WindowView& view, bool singleRow) {
  const int text = TextColumns(ShownText(view, nullptr));
  if (view.kind == ControlKind::Static) return singleRow ? text : 0;
  if (IsPushButton(view)) return text + 6;  // "[< " and " >]" when it is the default
  if (IsCheckBox(view)) return text + 4;    // "[x] "
  if (IsGroupBox(view)) return text + 4;
  return 0;
}

// Text with its mnemonic underlined; returns the cells used.
int MarkedText(Canvas& canvas, int x, int y, const std::string& text, int mnemonic, Style style, int maxWidth,
               bool markMnemonic) {
  const int used = canvas.Text(x, y, text, style, maxWidth);
  if (markMnemonic && mnemonic >= 0 && mnemonic < used) canvas.Underline(x + mnemonic, y);
  return used;
}

std::size_t CharIndexOfByte(const std::string& text, int byteOffset) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size() && i < static_cast<std::size_t>(std::max(byteOffset, 0)); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++count;
  }
  return count;
}

std::vector<HWND> Descendants(HWND hwnd) {
  std::vector<HWND> all = ChildWindows(hwnd);
  for (std::size_t i = 0; i < all.size(); ++i) {
    std::vector<HWND> children = ChildWindows(all[i]);
    all.insert(all.end(), children.begin(), children.end());
  }
  return all;
}

// The close box and the caption on the top edge of the frame.
void PaintTitleBar(Canvas& canvas, const WindowView& window, WindowPlace& place, bool active) {
  int titleRight = place.frame.Right() - 1;
  if ((window.style & WS_SYSMENU) != 0 && place.frame.width >= 8) {
    place.closeBox = CellRect{place.frame.Right() - 5, place.frame.y, 3, 1};
    canvas.Text(place.closeBox.x, place.frame.y, "[x]", active ? Style::Frame : Style::FrameInactive);
    titleRight = place.closeBox.x - 1;
  }
  if ((window.style & WS_CAPTION) == WS_CAPTION && !window.text.empty()) {
    const std::string title = " " + window.text + " ";
    const int room = titleRight - (place.frame.x + 1);
    const int width = std::min(TextColumns(title), std::max(room, 0));
    const int x = place.frame.x + 1 + std::max((room - width) / 2, 0);
    canvas.Text(x, place.frame.y, title, active ? Style::Title : Style::TitleInactive, width);
  }
}

}  // namespace

const WindowPlace* ScreenMap::WindowAt(int x, int y) const {
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
    if (it->frame.Contains(x, y)) return &*it;
  }
  return nullptr;
}

const ControlPlace* ScreenMap::ControlAt(const WindowPlace& window, int x, int y) const {
  for (auto it = window.controls.rbegin(); it != window.controls.rend(); ++it) {
    if (!it->frame && it->face.Contains(x, y)) return &*it;
  }
  return nullptr;
}

const ControlPlace* ScreenMap::Find(HWND hwnd) const {
  for (const WindowPlace& window : windows) {
    for (const ControlPlace& control : window.controls) {
      if (control.hwnd == hwnd) return &control;
    }
  }
  return nullptr;
}

ScreenMap WindowPainter::Paint(Canvas& canvas, const std::string& statusLine, Style statusStyle,
                               bool behindMessageBox) {
  m_behindMessageBox = behindMessageBox;
  canvas.ResetClip();
  canvas.Fill(CellRect{0, 0, canvas.Width(), canvas.Height()}, U' ', Style::Screen);
  ScreenMap map;
  const int screenHeight = std::max(canvas.Height() - 1, 1);
  for (HWND top : TopLevelWindows()) {
    WindowView view;
    if (!DescribeWindow(top, &view) || !view.visible) continue;
    PaintWindow(canvas, view, screenHeight, map);
  }
  canvas.ResetClip();
  if (canvas.Height() > 1) canvas.Text(0, canvas.Height() - 1, statusLine, statusStyle, canvas.Width());
  return map;
}

void WindowPainter::PaintWindow(Canvas& canvas, const WindowView& window, int screenHeight, ScreenMap& map) {
  BaseUnits units;
  if (window.kind == ControlKind::Dialog && window.dialog.baseUnitX > 0 && window.dialog.baseUnitY > 0) {
    units = BaseUnits{window.dialog.baseUnitX, window.dialog.baseUnitY};
  }
  int widthDu, heightDu;
  if (window.hasDialogUnits) {
    widthDu = window.dialogUnits.right - window.dialogUnits.left;
    heightDu = window.dialogUnits.bottom - window.dialogUnits.top;
  } else {
    widthDu = (window.clientRect.right - window.clientRect.left) * 4 / units.x;
    heightDu = (window.clientRect.bottom - window.clientRect.top) * 8 / units.y;
  }

  std::vector<WindowView> controls;
  std::vector<GridItem> items;
  for (HWND child : Descendants(window.hwnd)) {
    WindowView view;
    if (!DescribeWindow(child, &view) || !view.visible) continue;
    const RECT du = DialogUnitsOf(view, window, units, view.parent == window.hwnd);
    GridItem item;
    item.x = du.left;
    item.y = du.top;
    item.width = du.right - du.left;
    item.height = du.bottom - du.top;
    item.singleRow = IsSingleRow(view, du);
    item.columnsNeeded = ColumnsNeeded(view, item.singleRow);
    items.push_back(item);
    controls.push_back(std::move(view));
  }
  const GridLayout grid = LayOutGrid(widthDu, heightDu, items);

  WindowPlace place;
  place.hwnd = window.hwnd;
  place.frame = CentreOnScreen(grid.columns + 2, grid.rows + 2, canvas.Width(), screenHeight);
  place.client = CellRect{place.frame.x + 1, place.frame.y + 1, grid.columns, grid.rows};
  const bool active = window.active && !m_behindMessageBox;
  canvas.ResetClip();
  canvas.Fill(place.frame, U' ', Style::Window);
  canvas.Frame(place.frame, active ? Style::Frame : Style::FrameInactive);

  PaintTitleBar(canvas, window, place, active);

  canvas.SetClip(place.client);
  for (std::size_t i = 0; i < controls.size(); ++i) {
    CellRect cells = grid.items[i];
    cells.x += place.client.x;
    cells.y += place.client.y;
    PaintControl(canvas, controls[i], cells, active, place, map);
  }
  canvas.ResetClip();
  map.windows.push_back(std::move(place));
}

namespace {

// What a control's painter draws with and records to.
struct ControlPaint {
  Canvas& canvas;
  const WindowView& view;
  const CellRect& cells;
  bool focused;
  ControlPlace& place;
  ScreenMap& map;
  std::string text;  // shown, its mnemonic marker taken out
  int mnemonic = -1;
};

void PaintStatic(ControlPaint& paint) {
  const CellRect& cells = paint.cells;
  const bool enabled = paint.view.enabled;
  const Style style = enabled ? Style::Window : Style::Disabled;
  const DWORD type = paint.view.style & SS_TYPEMASK;
  std::vector<std::string> lines;
  if (cells.height == 1 || type == SS_LEFTNOWORDWRAP) {
    lines.push_back(paint.text);
  } else {
    lines = WrapText(paint.text, cells.width);
  }
  for (std::size_t row = 0; row < lines.size() && static_cast<int>(row) < cells.height; ++row) {
    const int width = std::min(TextColumns(lines[row]), cells.width);
    int x = cells.x;
    if (type == SS_CENTER) x += (cells.width - width) / 2;
    if (type == SS_RIGHT) x += cells.width - width;
    MarkedText(paint.canvas, x, cells.y + static_cast<int>(row), lines[row],
               row == 0 && lines.size() == 1 ? paint.mnemonic : -1, style, width, enabled);
  }
}

void PaintGroupBox(ControlPaint& paint) {
  const bool enabled = paint.view.enabled;
  paint.place.frame = true;
  paint.canvas.Frame(paint.cells, Style::Window);
  MarkedText(paint.canvas, paint.cells.x + 2, paint.cells.y, " " + paint.text + " ",
             paint.mnemonic >= 0 ? paint.mnemonic + 1 : -1, enabled ? Style::Window : Style::Disabled,
             std::max(paint.cells.width - 4, 0), enabled);
}

void PaintCheckBox(ControlPaint& paint) {
  const CellRect& cells = paint.cells;
  const bool enabled = paint.view.enabled;
  const Style style = !enabled ? Style::Disabled : paint.focused ? Style::ButtonFocused : Style::Window;
  paint.canvas.Text(cells.x, cells.y, paint.view.button.checked ? "[x]" : "[ ]", style);
  MarkedText(paint.canvas, cells.x + 4, cells.y, paint.text, paint.mnemonic, enabled ? Style::Window : Style::Disabled,
             std::max(cells.width - 4, 0), enabled);
  paint.place.face = CellRect{cells.x, cells.y, std::min(cells.width, 4 + TextColumns(paint.text)), 1};
  if (paint.focused) paint.map.cursor = CellPoint{cells.x + 1, cells.y};
}

Style PushButtonStyle(const ControlPaint& paint) {
  if (!paint.view.enabled) return Style::Disabled;
  if (paint.view.button.pushed) return Style::ButtonPushed;
  if (paint.focused) return Style::ButtonFocused;
  return paint.view.button.isDefault ? Style::ButtonDefault : Style::Button;
}

void PaintPushButton(ControlPaint& paint) {
  const CellRect& cells = paint.cells;
  const bool isDefault = paint.view.button.isDefault;
  const std::string open = isDefault ? "[< " : "[ ";
  const std::string close = isDefault ? " >]" : " ]";
  const int faceWidth = std::min(TextColumns(open + paint.text + close), cells.width);
  CellRect& face = paint.place.face;
  face = CellRect{cells.x + (cells.width - faceWidth) / 2, cells.y + (cells.height - 1) / 2, faceWidth, 1};
  const Style style = PushButtonStyle(paint);
  const int used = paint.canvas.Text(face.x, face.y, open, style, faceWidth);
  MarkedText(paint.canvas, face.x + used, face.y, paint.text + close, paint.mnemonic, style, faceWidth - used,
             paint.view.enabled);
  if (paint.focused) paint.map.cursor = CellPoint{face.x + used, face.y};
}

void PaintButton(ControlPaint& paint) {
  if (IsGroupBox(paint.view)) return PaintGroupBox(paint);
  if (IsCheckBox(paint.view)) return PaintCheckBox(paint);
  PaintPushButton(paint);
}

// The row or column a bar runs along, in the middle of its cells.
CellRect BarTrack(const CellRect& cells, bool vertical) {
  return vertical ? CellRect{cells.x + cells.width / 2, cells.y, 1, cells.height}
                  : CellRect{cells.x, cells.y + cells.height / 2, cells.width, 1};
}

Style TrackStyle(const ControlPaint& paint) {
  return !paint.view.enabled ? Style::Disabled : paint.focused ? Style::TrackFocused : Style::Track;
}

// Fills the track, places the thumb at `pos` of min..max and records both.
void PaintTrackAndThumb(ControlPaint& paint, const CellRect& track, char32_t fill, int max, bool hasThumb) {
  const WindowView& view = paint.view;
  ControlPlace& place = paint.place;
  paint.canvas.Fill(track, fill, TrackStyle(paint));
  const int length = place.vertical ? track.height : track.width;
  place.track = track;
  place.thumbCell = ThumbCell(view.range.pos, view.range.min, max, length);
  if (!hasThumb || length <= 0) return;
  const CellPoint thumb = place.vertical ? CellPoint{track.x, track.y + place.thumbCell}
                                         : CellPoint{track.x + place.thumbCell, track.y};
  paint.canvas.Put(thumb.x, thumb.y, glyph::kThumb,
                   !view.enabled ? Style::Disabled : paint.focused ? Style::ThumbFocused : Style::Thumb);
  if (paint.focused) paint.map.cursor = thumb;
}

void PaintTrackbar(ControlPaint& paint) {
  const bool vertical = paint.place.vertical = paint.view.range.vertical;
  CellRect track = BarTrack(paint.cells, vertical);
  // A trackbar's channel stops short of its ends, as the original's does by
  // half a thumb, which keeps it clear of its neighbours.
  if (vertical && track.height >= 5) track = CellRect{track.x, track.y + 1, 1, track.height - 2};
  if (!vertical && track.width >= 5) track = CellRect{track.x + 1, track.y, track.width - 2, 1};
  PaintTrackAndThumb(paint, track, vertical ? glyph::kVertical : glyph::kHorizontal, paint.view.range.max,
                     (paint.view.style & TBS_NOTHUMB) == 0);
}

void PaintScrollBar(ControlPaint& paint) {
  const bool vertical = paint.place.vertical = (paint.view.style & SBS_VERT) != 0;
  CellRect track = BarTrack(paint.cells, vertical);
  // Arrows at the ends; the thumb moves over what lies between.
  const Style style = TrackStyle(paint);
  if ((vertical ? track.height : track.width) >= 3) {
    if (vertical) {
      paint.canvas.Put(track.x, track.y, glyph::kArrowUp, style);
      paint.canvas.Put(track.x, track.Bottom() - 1, glyph::kArrowDown, style);
      track = CellRect{track.x, track.y + 1, 1, track.height - 2};
    } else {
      paint.canvas.Put(track.x, track.y, glyph::kArrowLeft, style);
      paint.canvas.Put(track.Right() - 1, track.y, glyph::kArrowRight, style);
      track = CellRect{track.x + 1, track.y, track.width - 2, 1};
    }
  }
  // The last position leaves a page showing.
  const WindowView::Range& range = paint.view.range;
  PaintTrackAndThumb(paint, track, glyph::kShade, std::max(range.min, range.max - std::max(range.page - 1, 0)), true);
}

void PaintUpDown(ControlPaint& paint) {
  const CellRect& cells = paint.cells;
  const Style style = paint.view.enabled ? Style::Button : Style::Disabled;
  const bool horizontal = (paint.view.style & UDS_HORZ) != 0;
  if (horizontal || cells.height < 2) {
    paint.canvas.Put(cells.x, cells.y, horizontal ? glyph::kArrowLeft : glyph::kArrowDown, style);
    paint.canvas.Put(cells.x + std::min(1, cells.width - 1), cells.y,
                     horizontal ? glyph::kArrowRight : glyph::kArrowUp, style);
  } else {
    paint.canvas.Put(cells.x, cells.y, glyph::kArrowUp, style);
    paint.canvas.Put(cells.x, cells.Bottom() - 1, glyph::kArrowDown, style);
  }
}

void PaintOther(ControlPaint& paint) {
  paint.canvas.Fill(paint.cells, U' ', Style::Window);
  if ((paint.view.style & WS_BORDER) != 0) paint.canvas.Frame(paint.cells, Style::Window);
}

}  // namespace

void WindowPainter::PaintControl(Canvas& canvas, const WindowView& view, const CellRect& cells, bool activeWindow,
                                 WindowPlace& window, ScreenMap& map) {
  ControlPlace place;
  place.hwnd = view.hwnd;
  place.kind = view.kind;
  place.cells = cells;
  place.face = cells;
  int mnemonic = -1;
  std::string text = ShownText(view, &mnemonic);
  ControlPaint paint{canvas, view, cells, view.focused && activeWindow, place, map, std::move(text), mnemonic};
  switch (view.kind) {
    case ControlKind::Static:
      PaintStatic(paint);
      break;
    case ControlKind::Edit:
      PaintEdit(canvas, view, cells, place, activeWindow, map);
      break;
    case ControlKind::Button:
      PaintButton(paint);
      break;
    case ControlKind::Trackbar:
      PaintTrackbar(paint);
      break;
    case ControlKind::ScrollBar:
      PaintScrollBar(paint);
      break;
    case ControlKind::UpDown:
      PaintUpDown(paint);
      break;
    case ControlKind::Dialog:
    case ControlKind::Other:
      PaintOther(paint);
      break;
  }
  window.controls.push_back(place);
}

void WindowPainter::PaintEdit(Canvas& canvas, const WindowView& view, const CellRect& cells, ControlPlace& place,
                              bool activeWindow, ScreenMap& map) {
  const bool focused = view.focused && activeWindow;
  const Style field = !view.enabled ? Style::Disabled : focused ? Style::FieldFocused : Style::Field;
  // A bordered field shows its border as brackets when there is room.
  const bool brackets = (view.style & WS_BORDER) != 0 && cells.width >= 3;
  const int left = cells.x + (brackets ? 1 : 0);
  const int width = std::max(cells.width - (brackets ? 2 : 0), 1);
  canvas.Fill(CellRect{cells.x, cells.y, cells.width, 1}, U' ', field);
  if (brackets) {
    canvas.Put(cells.x, cells.y, U'[', field);
    canvas.Put(cells.Right() - 1, cells.y, U']', field);
  }

  std::u32string text = DecodeUtf8(view.text);
  if (view.edit.password) text.assign(text.size(), U'*');
  const int length = static_cast<int>(text.size());
  const int caret = static_cast<int>(CharIndexOfByte(view.text, view.edit.caret));
  const int selStart = static_cast<int>(CharIndexOfByte(view.text, view.edit.selStart));
  const int selEnd = static_cast<int>(CharIndexOfByte(view.text, view.edit.selEnd));

  // The text from its start; scrolled only as far as the caret needs when
  // it is to be shown, and kept full when the text allows.
  FieldScroll& scroll = m_fields[view.hwnd];
  int first = scroll.textSet != view.edit.textSet ? 0 : scroll.first;
  if (scroll.caretShown != view.edit.caretShown) {
    if (caret < first) first = caret;
    if (caret > first + width - 1) first = caret - width + 1;
  }
  first = std::max(0, std::min(first, std::max(length - width + 1, 0)));
  if (length < width) first = 0;
  scroll = FieldScroll{first, view.edit.caretShown, view.edit.textSet};

  for (int i = 0; i < width && first + i < length; ++i) {
    const int index = first + i;
    const bool selected = focused && index >= selStart && index < selEnd;
    canvas.Put(left + i, cells.y, text[static_cast<std::size_t>(index)], selected ? Style::Selection : field);
  }
  place.textLeft = left;
  place.firstChar = first;
  // A caret scrolled out of the field (its text selected on focus) is not
  // shown until it moves.
  if (focused && caret >= first && caret - first <= width) map.cursor = CellPoint{left + caret - first, cells.y};
}

}  // namespace win::term
