// A grid of character cells that the terminal presentation draws into. It
// knows nothing of terminals: a device copies it to the screen, and tests
// read it back as text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace win::term {

// What a cell shows, by role; the device picks colours and attributes.
enum class Style : std::uint8_t {
  Screen,          // outside every window
  Hint,            // the key help on the bottom line
  Notice,          // a message on the bottom line
  Window,          // a window's face and plain text
  Disabled,        // text of a disabled control
  Frame,           // the frame of the active window
  FrameInactive,   // the frame of a window behind another
  Title,           // the caption of the active window
  TitleInactive,
  Field,           // an edit field
  FieldFocused,
  Selection,       // selected text in the focused field
  Track,           // a trackbar's or scroll bar's channel
  TrackFocused,
  Thumb,
  ThumbFocused,
  Button,
  ButtonDefault,   // the button Enter presses
  ButtonFocused,
  ButtonPushed,
  IconError,       // a message box's icon
  IconWarning,
  IconInformation,
};

struct Cell {
  char32_t ch = U' ';
  Style style = Style::Screen;
  bool underline = false;  // a mnemonic
  bool operator==(const Cell& other) const {
    return ch == other.ch && style == other.style && underline == other.underline;
  }
};

struct CellRect {
  int x = 0, y = 0, width = 0, height = 0;
  int Right() const { return x + width; }    // one past the last column
  int Bottom() const { return y + height; }  // one past the last row
  bool Contains(int column, int row) const {
    return column >= x && column < Right() && row >= y && row < Bottom();
  }
  bool Empty() const { return width <= 0 || height <= 0; }
};

struct CellPoint {
  int x = 0, y = 0;
};

// Line drawing and marks, as code points; a device without Unicode maps
// them to its own line drawing or to ASCII.
namespace glyph {
constexpr char32_t kHorizontal = U'\u2500';
constexpr char32_t kVertical = U'\u2502';
constexpr char32_t kTopLeft = U'\u250C';
constexpr char32_t kTopRight = U'\u2510';
constexpr char32_t kBottomLeft = U'\u2514';
constexpr char32_t kBottomRight = U'\u2518';
constexpr char32_t kThumb = U'\u2588';     // full block
constexpr char32_t kShade = U'\u2592';     // a scroll bar's channel
constexpr char32_t kArrowUp = U'\u25B2';
constexpr char32_t kArrowDown = U'\u25BC';
constexpr char32_t kArrowLeft = U'\u25C4';
constexpr char32_t kArrowRight = U'\u25BA';
constexpr char32_t kEllipsis = U'\u2026';  // text cut short
}  // namespace glyph

class Canvas {
 public:
  Canvas(int width, int height);

  int Width() const { return m_width; }
  int Height() const { return m_height; }
  const Cell& At(int x, int y) const;

  // Drawing outside the canvas (or the clip) is ignored.
  void Put(int x, int y, char32_t ch, Style style);
  // Underlines what a cell shows (a mnemonic), keeping its style.
  void Underline(int x, int y);
  void Fill(const CellRect& rect, char32_t ch, Style style);
  // A single-line frame around `rect` (its outermost cells).
  void Frame(const CellRect& rect, Style style);
  // UTF-8 text from (x, y), one cell per character, at most `maxWidth`
  // cells (negative: to the edge); returns the cells used.
  int Text(int x, int y, const std::string& utf8, Style style, int maxWidth = -1);

  // Drawing is limited to `rect` until ResetClip.
  void SetClip(const CellRect& rect);
  void ResetClip();

  // A row as UTF-8 text, and the whole canvas as lines (for tests and
  // captures).
  std::string RowText(int y) const;
  std::string ToText() const;

 private:
  int m_width, m_height;
  CellRect m_clip;
  std::vector<Cell> m_cells;
};

// UTF-8 helpers shared by the drawing code.
std::u32string DecodeUtf8(const std::string& text);
std::string EncodeUtf8(const std::u32string& text);

}  // namespace win::term
