#include "term/canvas.h"

#include <algorithm>

#include "win/unicode.h"

namespace win::term {

Canvas::Canvas(int width, int height)
    : m_width(std::max(width, 0)),
      m_height(std::max(height, 0)),
      m_clip{0, 0, m_width, m_height},
      m_cells(static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height)) {}

const Cell& Canvas::At(int x, int y) const {
  static const Cell kOutside;
  if (x < 0 || y < 0 || x >= m_width || y >= m_height) return kOutside;
  return m_cells[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) + static_cast<std::size_t>(x)];
}

void Canvas::Put(int x, int y, char32_t ch, Style style) {
  if (!m_clip.Contains(x, y) || x >= m_width || y >= m_height || x < 0 || y < 0) return;
  m_cells[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) + static_cast<std::size_t>(x)] = Cell{ch, style};
}

void Canvas::Underline(int x, int y) {
  if (!m_clip.Contains(x, y) || x >= m_width || y >= m_height || x < 0 || y < 0) return;
  m_cells[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) + static_cast<std::size_t>(x)].underline = true;
}

void Canvas::Fill(const CellRect& rect, char32_t ch, Style style) {
  for (int y = rect.y; y < rect.Bottom(); ++y) {
    for (int x = rect.x; x < rect.Right(); ++x) Put(x, y, ch, style);
  }
}

void Canvas::Frame(const CellRect& rect, Style style) {
  if (rect.width < 2 || rect.height < 2) return;
  const int right = rect.Right() - 1;
  const int bottom = rect.Bottom() - 1;
  for (int x = rect.x + 1; x < right; ++x) {
    Put(x, rect.y, glyph::kHorizontal, style);
    Put(x, bottom, glyph::kHorizontal, style);
  }
  for (int y = rect.y + 1; y < bottom; ++y) {
    Put(rect.x, y, glyph::kVertical, style);
    Put(right, y, glyph::kVertical, style);
  }
  Put(rect.x, rect.y, glyph::kTopLeft, style);
  Put(right, rect.y, glyph::kTopRight, style);
  Put(rect.x, bottom, glyph::kBottomLeft, style);
  Put(right, bottom, glyph::kBottomRight, style);
}

int Canvas::Text(int x, int y, const std::string& utf8, Style style, int maxWidth) {
  const std::u32string text = DecodeUtf8(utf8);
  const int limit = maxWidth < 0 ? static_cast<int>(text.size()) : std::min<int>(maxWidth, static_cast<int>(text.size()));
  for (int i = 0; i < limit; ++i) Put(x + i, y, text[static_cast<std::size_t>(i)], style);
  return std::max(limit, 0);
}

void Canvas::SetClip(const CellRect& rect) {
  const int left = std::max(rect.x, 0);
  const int top = std::max(rect.y, 0);
  const int right = std::min(rect.Right(), m_width);
  const int bottom = std::min(rect.Bottom(), m_height);
  m_clip = CellRect{left, top, std::max(right - left, 0), std::max(bottom - top, 0)};
}

void Canvas::ResetClip() { m_clip = CellRect{0, 0, m_width, m_height}; }

std::string Canvas::RowText(int y) const {
  std::u32string row;
  for (int x = 0; x < m_width; ++x) row += At(x, y).ch;
  return EncodeUtf8(row);
}

std::string Canvas::ToText() const {
  std::string text;
  for (int y = 0; y < m_height; ++y) {
    std::string row = RowText(y);
    row.erase(row.find_last_not_of(' ') + 1);
    text += row + "\n";
  }
  return text;
}

std::u32string DecodeUtf8(const std::string& text) {
  std::u32string out;
  for (std::size_t i = 0; i < text.size();) out += DecodeUtf8At(text, i);
  return out;
}

std::string EncodeUtf8(const std::u32string& text) {
  std::string out;
  for (char32_t cp : text) AppendUtf8(out, cp);
  return out;
}

}  // namespace win::term
