// Where windows go on a terminal. A dialog is laid out on a grid of four
// horizontal dialog units per column and eight vertical units per row,
// which keeps a template's proportions. Proportional fonts fit text into a
// dialog that a grid of fixed-width cells cannot: where a label or button
// needs more columns than its box, the grid gains columns at that box's right
// edge, for every row alike, so that what was aligned stays aligned.
#pragma once

#include <string>
#include <vector>

#include "term/canvas.h"

namespace win::term {

constexpr int kDialogUnitsPerColumn = 4;
constexpr int kDialogUnitsPerRow = 8;

// Dialog-unit edges to grid lines, halves rounded up, so that controls that
// touch or share an edge in the template do so on the grid as well.
int ColumnOfDialogX(int x);
int RowOfDialogY(int y);

// One control of a dialog, in dialog units relative to the client area.
struct GridItem {
  int x = 0, y = 0, width = 0, height = 0;  // dialog units
  bool singleRow = true;                     // a one-line control: one row, at its vertical centre
  int columnsNeeded = 0;                     // what its text needs; 0: nothing
};

struct GridLayout {
  int columns = 0, rows = 0;     // the client area
  std::vector<CellRect> items;   // in the order given, relative to the client area
};

// Lays out a client area of `width` by `height` dialog units.
GridLayout LayOutGrid(int width, int height, const std::vector<GridItem>& items);

// Text of a label or button as shown: "&" marks the next character as the
// mnemonic and is not shown ("&&" shows one "&"). `mnemonicIndex` gets the
// character index of the mnemonic in the result, or -1.
std::string StripMnemonic(const std::string& text, int* mnemonicIndex = nullptr);
int TextColumns(const std::string& utf8);

// Text broken into lines of at most `width` columns: at line feeds, at
// spaces where it can, inside a word where it must. Tabs advance to the
// next multiple of eight columns.
std::vector<std::string> WrapText(const std::string& utf8, int width);

// Where a window of `width` by `height` cells goes on a screen: centred, and
// at the top left when it does not fit.
CellRect CentreOnScreen(int width, int height, int screenWidth, int screenHeight);

// A trackbar's thumb column on a track of `cells` cells for `pos` in
// [min, max] (clamped), and the position a column stands for; rounding is
// the same both ways, so that a column maps to a position that maps back.
int ThumbCell(int pos, int min, int max, int cells);
int PositionOfCell(int cell, int min, int max, int cells);

}  // namespace win::term
