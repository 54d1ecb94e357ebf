#include "term/layout.h"

#include <algorithm>

namespace win::term {
namespace {

// Rounds a / b to the nearest integer, halves away from zero (b > 0).
int RoundDiv(long long a, long long b) {
  return static_cast<int>(a >= 0 ? (a + b / 2) / b : -((-a + b / 2) / b));
}

}  // namespace

int ColumnOfDialogX(int x) { return RoundDiv(x, kDialogUnitsPerColumn); }
int RowOfDialogY(int y) { return RoundDiv(y, kDialogUnitsPerRow); }

GridLayout LayOutGrid(int width, int height, const std::vector<GridItem>& items) {
  GridLayout layout;
  layout.columns = std::max(ColumnOfDialogX(width), 1);
  layout.rows = std::max(RowOfDialogY(height), 1);
  std::vector<int> left(items.size()), right(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    const GridItem& item = items[i];
    left[i] = ColumnOfDialogX(item.x);
    right[i] = std::max(ColumnOfDialogX(item.x + item.width), left[i] + 1);
    CellRect& cells = layout.items.emplace_back();
    if (item.singleRow) {
      // The row that holds the control's vertical centre: a label and the
      // taller field beside it end up on the same row.
      cells.y = (2 * item.y + item.height) / (2 * kDialogUnitsPerRow);
      cells.height = 1;
    } else {
      cells.y = RowOfDialogY(item.y);
      cells.height = std::max(RowOfDialogY(item.y + item.height) - cells.y, 1);
    }
    layout.rows = std::max(layout.rows, cells.y + cells.height);
  }

  // Widen at each short box's right edge, leftmost first: every edge at or
  // beyond it moves right, the box itself grows.
  std::vector<std::size_t> order(items.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return right[a] < right[b]; });
  for (std::size_t i : order) {
    const int shortBy = items[i].columnsNeeded - (right[i] - left[i]);
    if (shortBy <= 0) continue;
    const int edge = right[i];
    for (std::size_t j = 0; j < items.size(); ++j) {
      if (left[j] >= edge) left[j] += shortBy;
      if (right[j] >= edge) right[j] += shortBy;
    }
    if (layout.columns >= edge) layout.columns += shortBy;
  }
  for (std::size_t i = 0; i < items.size(); ++i) {
    layout.items[i].x = left[i];
    layout.items[i].width = right[i] - left[i];
    layout.columns = std::max(layout.columns, right[i]);
  }
  return layout;
}

std::string StripMnemonic(const std::string& text, int* mnemonicIndex) {
  std::string shown;
  int mnemonic = -1;
  int characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '&' && i + 1 < text.size()) {
      if (text[i + 1] == '&') {
        ++i;
      } else {
        if (mnemonic < 0) mnemonic = characters;
        continue;
      }
    }
    shown += text[i];
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++characters;
  }
  if (mnemonicIndex != nullptr) *mnemonicIndex = mnemonic;
  return shown;
}

int TextColumns(const std::string& utf8) {
  int columns = 0;
  for (char c : utf8) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++columns;
  }
  return columns;
}

std::vector<std::string> WrapText(const std::string& utf8, int width) {
  constexpr int kTabStop = 8;
  width = std::max(width, 1);
  std::vector<std::string> lines;
  std::u32string text = DecodeUtf8(utf8);
  std::u32string line;
  auto flush = [&] {
    lines.push_back(EncodeUtf8(line));
    line.clear();
  };
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == U'\n') {
      flush();
      continue;
    }
    char32_t c = text[i];
    if (c == U'\r') continue;
    if (c == U'\t') {
      const std::size_t stop = (line.size() / kTabStop + 1) * kTabStop;
      if (stop >= static_cast<std::size_t>(width)) {
        flush();
      } else {
        line.append(stop - line.size(), U' ');
      }
      continue;
    }
    if (line.size() == static_cast<std::size_t>(width)) {
      // Break at the last space of the line when there is one.
      const std::size_t space = line.find_last_of(U' ');
      if (c == U' ') {
        flush();
        continue;
      }
      if (space != std::u32string::npos && space > 0) {
        std::u32string rest = line.substr(space + 1);
        line.erase(space);
        flush();
        line = rest;
      } else {
        flush();
      }
    }
    line += c;
  }
  return lines;
}

CellRect CentreOnScreen(int width, int height, int screenWidth, int screenHeight) {
  return CellRect{std::max((screenWidth - width) / 2, 0), std::max((screenHeight - height) / 2, 0), width, height};
}

int ThumbCell(int pos, int min, int max, int cells) {
  if (cells <= 1 || max <= min) return 0;
  const long long clamped = std::clamp(pos, min, max);
  return RoundDiv((clamped - min) * (cells - 1), static_cast<long long>(max) - min);
}

int PositionOfCell(int cell, int min, int max, int cells) {
  if (cells <= 1 || max <= min) return min;
  const long long clamped = std::clamp(cell, 0, cells - 1);
  return min + RoundDiv(clamped * (static_cast<long long>(max) - min), cells - 1);
}

}  // namespace win::term
