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

void WindowPainter::PaintControl(Canvas& canvas, const WindowView& view, const CellRect& cells, bool activeWindow,
                                 WindowPlace& window, ScreenMap& map) {
  ControlPlace place;
  place.hwnd = view.hwnd;
  place.kind = view.kind;
  place.cells = cells;
  place.face = cells;
  const bool focused = view.focused && activeWindow;
  const bool enabled = view.enabled;
  int mnemonic = -1;
  const std::string text = ShownText(view, &mnemonic);

  switch (view.kind) {
    case ControlKind::Static: {
      const Style style = enabled ? Style::Window : Style::Disabled;
      const DWORD type = view.style & SS_TYPEMASK;
      std::vector<std::string> lines;
      if (cells.height == 1 || type == SS_LEFTNOWORDWRAP) {
        lines.push_back(text);
      } else {
        lines = WrapText(text, cells.width);
      }
      for (std::size_t row = 0; row < lines.size() && static_cast<int>(row) < cells.height; ++row) {
        const int width = std::min(TextColumns(lines[row]), cells.width);
        int x = cells.x;
        if (type == SS_CENTER) x += (cells.width - width) / 2;
        if (type == SS_RIGHT) x += cells.width - width;
        MarkedText(canvas, x, cells.y + static_cast<int>(row), lines[row], row == 0 && lines.size() == 1 ? mnemonic : -1,
                   style, width, enabled);
      }
      break;
    }
    case ControlKind::Edit:
      PaintEdit(canvas, view, cells, place, activeWindow, map);
      break;
    case ControlKind::Button: {
      if (IsGroupBox(view)) {
        place.frame = true;
        canvas.Frame(cells, Style::Window);
        MarkedText(canvas, cells.x + 2, cells.y, " " + text + " ", mnemonic >= 0 ? mnemonic + 1 : -1,
                   enabled ? Style::Window : Style::Disabled, std::max(cells.width - 4, 0), enabled);
        break;
      }
      if (IsCheckBox(view)) {
        const Style style = !enabled ? Style::Disabled : focused ? Style::ButtonFocused : Style::Window;
        canvas.Text(cells.x, cells.y, view.button.checked ? "[x]" : "[ ]", style);
        MarkedText(canvas, cells.x + 4, cells.y, text, mnemonic, enabled ? Style::Window : Style::Disabled,
                   std::max(cells.width - 4, 0), enabled);
        place.face = CellRect{cells.x, cells.y, std::min(cells.width, 4 + TextColumns(text)), 1};
        if (focused) map.cursor = CellPoint{cells.x + 1, cells.y};
        break;
      }
      const bool isDefault = view.button.isDefault;
      const std::string open = isDefault ? "[< " : "[ ";
      const std::string close = isDefault ? " >]" : " ]";
      const int faceWidth = std::min(TextColumns(open + text + close), cells.width);
      place.face = CellRect{cells.x + (cells.width - faceWidth) / 2, cells.y + (cells.height - 1) / 2, faceWidth, 1};
      Style style = Style::Button;
      if (!enabled) {
        style = Style::Disabled;
      } else if (view.button.pushed) {
        style = Style::ButtonPushed;
      } else if (focused) {
        style = Style::ButtonFocused;
      } else if (isDefault) {
        style = Style::ButtonDefault;
      }
      const int used = canvas.Text(place.face.x, place.face.y, open, style, faceWidth);
      MarkedText(canvas, place.face.x + used, place.face.y, text + close, mnemonic, style, faceWidth - used, enabled);
      if (focused) map.cursor = CellPoint{place.face.x + used, place.face.y};
      break;
    }
    case ControlKind::Trackbar:
    case ControlKind::ScrollBar: {
      const bool scrollBar = view.kind == ControlKind::ScrollBar;
      place.vertical = scrollBar ? (view.style & SBS_VERT) != 0 : view.range.vertical;
      CellRect track = place.vertical ? CellRect{cells.x + cells.width / 2, cells.y, 1, cells.height}
                                      : CellRect{cells.x, cells.y + cells.height / 2, cells.width, 1};
      if (!scrollBar) {
        // A trackbar's channel stops short of its ends, as the original's
        // does by half a thumb, which keeps it clear of its neighbours.
        if (place.vertical && track.height >= 5) track = CellRect{track.x, track.y + 1, 1, track.height - 2};
        if (!place.vertical && track.width >= 5) track = CellRect{track.x + 1, track.y, track.width - 2, 1};
      }
      const Style trackStyle = !enabled ? Style::Disabled : focused ? Style::TrackFocused : Style::Track;
      if (scrollBar) {
        // Arrows at the ends; the thumb moves over what lies between.
        const int length = place.vertical ? track.height : track.width;
        if (length >= 3) {
          if (place.vertical) {
            canvas.Put(track.x, track.y, glyph::kArrowUp, trackStyle);
            canvas.Put(track.x, track.Bottom() - 1, glyph::kArrowDown, trackStyle);
            track = CellRect{track.x, track.y + 1, 1, track.height - 2};
          } else {
            canvas.Put(track.x, track.y, glyph::kArrowLeft, trackStyle);
            canvas.Put(track.Right() - 1, track.y, glyph::kArrowRight, trackStyle);
            track = CellRect{track.x + 1, track.y, track.width - 2, 1};
          }
        }
      }
      canvas.Fill(track, scrollBar ? glyph::kShade : (place.vertical ? glyph::kVertical : glyph::kHorizontal),
                  trackStyle);
      const int length = place.vertical ? track.height : track.width;
      // A scroll bar's last position leaves a page showing.
      const int max = scrollBar ? std::max(view.range.min, view.range.max - std::max(view.range.page - 1, 0))
                                : view.range.max;
      place.track = track;
      place.thumbCell = ThumbCell(view.range.pos, view.range.min, max, length);
      const bool hasThumb = scrollBar || (view.style & TBS_NOTHUMB) == 0;
      if (hasThumb && length > 0) {
        const CellPoint thumb = place.vertical ? CellPoint{track.x, track.y + place.thumbCell}
                                               : CellPoint{track.x + place.thumbCell, track.y};
        canvas.Put(thumb.x, thumb.y, glyph::kThumb,
                   !enabled ? Style::Disabled : focused ? Style::ThumbFocused : Style::Thumb);
        if (focused) map.cursor = thumb;
      }
      break;
    }
    case ControlKind::UpDown: {
      const Style style = enabled ? Style::Button : Style::Disabled;
      const bool horizontal = (view.style & UDS_HORZ) != 0;
      if (horizontal || cells.height < 2) {
        canvas.Put(cells.x, cells.y, horizontal ? glyph::kArrowLeft : glyph::kArrowDown, style);
        canvas.Put(cells.x + std::min(1, cells.width - 1), cells.y, horizontal ? glyph::kArrowRight : glyph::kArrowUp, style);
      } else {
        canvas.Put(cells.x, cells.y, glyph::kArrowUp, style);
        canvas.Put(cells.x, cells.Bottom() - 1, glyph::kArrowDown, style);
      }
      break;
    }
    case ControlKind::Dialog:
    case ControlKind::Other:
      canvas.Fill(cells, U' ', Style::Window);
      if ((view.style & WS_BORDER) != 0) canvas.Frame(cells, Style::Window);
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

  // Keep the caret in view, and the field full when the text allows.
  int first = m_firstChar[view.hwnd];
  if (caret < first) first = caret;
  if (caret > first + width - 1) first = caret - width + 1;
  first = std::max(0, std::min(first, std::max(length - width + 1, 0)));
  if (length < width) first = 0;
  m_firstChar[view.hwnd] = first;

  for (int i = 0; i < width && first + i < length; ++i) {
    const int index = first + i;
    const bool selected = focused && index >= selStart && index < selEnd;
    canvas.Put(left + i, cells.y, text[static_cast<std::size_t>(index)], selected ? Style::Selection : field);
  }
  place.textLeft = left;
  place.firstChar = first;
  if (focused) map.cursor = CellPoint{left + caret - first, cells.y};
}

}  // namespace win::term
