// Dialog units to cells, the widening of the grid for text, the thumb's
// cell, and how text is prepared for cells.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "term/layout.h"

using namespace win::term;
using ::testing::ElementsAre;

namespace {

// The plug-in's template 130: labels, fields and sliders on two rows, three
// buttons below.
std::vector<GridItem> Template130() {
  return {
      {7, 8, 50, 8, true, 15},    // "Noise variance:"
      {61, 7, 30, 12, true, 0},   // variance field
      {93, 8, 78, 9, true, 0},    // variance slider
      {7, 24, 51, 8, true, 11},   // "Iterations:"
      {61, 22, 30, 12, true, 0},  // iterations field
      {93, 24, 78, 9, true, 0},   // iterations slider
      {7, 41, 50, 14, true, 8},   // [< OK >]
      {64, 41, 50, 14, true, 12}, // [< Cancel >]
      {121, 41, 50, 14, true, 10} // [< Help >]
  };
}

bool Overlap(const CellRect& a, const CellRect& b) {
  return a.y < b.Bottom() && b.y < a.Bottom() && a.x < b.Right() && b.x < a.Right();
}

TEST(GridLayout, LaysOutTheParameterDialogAsDesigned) {
  const GridLayout layout = LayOutGrid(178, 62, Template130());
  // About 45 columns by 8 rows: 45 from the template, widened by the three
  // columns the longer label lacks.
  EXPECT_EQ(layout.columns, 48);
  EXPECT_EQ(layout.rows, 8);
  const auto& c = layout.items;
  // Each label shares its row with its field and slider; the buttons have a
  // row of their own below.
  for (int i : {0, 1, 2}) EXPECT_EQ(c[i].y, 1) << i;
  for (int i : {3, 4, 5}) EXPECT_EQ(c[i].y, 3) << i;
  for (int i : {6, 7, 8}) EXPECT_EQ(c[i].y, 6) << i;
  // Fields and sliders of both rows in the same columns.
  EXPECT_EQ(c[1].x, c[4].x);
  EXPECT_EQ(c[1].width, c[4].width);
  EXPECT_EQ(c[2].x, c[5].x);
  // Every text fits its box, and nothing overlaps.
  for (std::size_t i = 0; i < c.size(); ++i) {
    EXPECT_GE(c[i].width, Template130()[i].columnsNeeded) << i;
    EXPECT_LE(c[i].Right(), layout.columns) << i;
    for (std::size_t j = i + 1; j < c.size(); ++j) EXPECT_FALSE(Overlap(c[i], c[j])) << i << " and " << j;
  }
  // Left to right as in the template.
  EXPECT_LT(c[0].Right(), c[1].x + 1);
  EXPECT_LE(c[1].Right(), c[2].x);
  EXPECT_LT(c[6].Right(), c[7].x);
  EXPECT_LT(c[7].Right(), c[8].x);
  // The same margin on both sides.
  EXPECT_EQ(c[0].x, layout.columns - c[8].Right());
}

TEST(GridLayout, KeepsFourUnitsPerColumnWhereTextFits) {
  const GridLayout layout = LayOutGrid(100, 40, {{0, 0, 40, 8, true, 10}, {40, 0, 60, 8, true, 3}, {8, 16, 20, 16, false, 0}});
  EXPECT_EQ(layout.columns, 25);
  EXPECT_EQ(layout.rows, 5);
  EXPECT_EQ(layout.items[0].x, 0);
  EXPECT_EQ(layout.items[0].width, 10);
  EXPECT_EQ(layout.items[1].x, 10);
  EXPECT_EQ(layout.items[1].width, 15);
  // A control of several rows keeps its height.
  EXPECT_EQ(layout.items[2].y, 2);
  EXPECT_EQ(layout.items[2].height, 2);
}

TEST(GridLayout, WidensEveryRowAtTheEdgeOfAShortBox) {
  // A label two columns short on the first row; on the second row one
  // control lies left of its edge and one right of it.
  const GridLayout layout =
      LayOutGrid(80, 24, {{0, 0, 20, 8, true, 7}, {20, 0, 20, 8, true, 0}, {0, 16, 16, 8, true, 0}, {24, 16, 20, 8, true, 0}});
  EXPECT_EQ(layout.columns, 22);
  EXPECT_EQ(layout.items[0].width, 7);
  EXPECT_EQ(layout.items[1].x, 7);
  EXPECT_EQ(layout.items[2].x, 0);
  EXPECT_EQ(layout.items[2].width, 4);
  EXPECT_EQ(layout.items[3].x, 8);
  EXPECT_EQ(layout.items[3].width, 5);
}

TEST(GridLayout, RoundsEdgesToTheNearestLineHalvesUp) {
  EXPECT_EQ(ColumnOfDialogX(0), 0);
  EXPECT_EQ(ColumnOfDialogX(1), 0);
  EXPECT_EQ(ColumnOfDialogX(2), 1);
  EXPECT_EQ(ColumnOfDialogX(7), 2);
  EXPECT_EQ(ColumnOfDialogX(-2), -1);
  EXPECT_EQ(RowOfDialogY(3), 0);
  EXPECT_EQ(RowOfDialogY(4), 1);
  EXPECT_EQ(RowOfDialogY(62), 8);
  // A one-row control sits on the row of its centre.
  const GridLayout layout = LayOutGrid(40, 40, {{0, 7, 10, 12, true, 0}, {0, 23, 10, 2, true, 0}});
  EXPECT_EQ(layout.items[0].y, 1);
  EXPECT_EQ(layout.items[1].y, 3);
}

TEST(GridLayout, CentresOnTheScreenOrKeepsTheTopLeftVisible) {
  const CellRect centred = CentreOnScreen(50, 10, 80, 23);
  EXPECT_EQ(centred.x, 15);
  EXPECT_EQ(centred.y, 6);
  const CellRect tooBig = CentreOnScreen(50, 10, 40, 8);
  EXPECT_EQ(tooBig.x, 0);
  EXPECT_EQ(tooBig.y, 0);
}

TEST(ThumbCell, MapsTheRangeOntoTheTrackAndBack) {
  EXPECT_EQ(ThumbCell(0, 0, 1000, 18), 0);
  EXPECT_EQ(ThumbCell(1000, 0, 1000, 18), 17);
  EXPECT_EQ(ThumbCell(500, 0, 1000, 18), 9);  // 8.5 rounds up
  EXPECT_EQ(ThumbCell(5, 0, 1000, 18), 0);
  // Beyond the range the thumb stays at the end, as a trackbar shows it.
  EXPECT_EQ(ThumbCell(2500, 0, 1000, 18), 17);
  EXPECT_EQ(ThumbCell(-3, 0, 1000, 18), 0);
  EXPECT_EQ(ThumbCell(7, 4, 4, 18), 0);
  for (int cells : {2, 7, 18}) {
    for (int min : {0, 1}) {
      for (int cell = 0; cell < cells; ++cell) {
        EXPECT_EQ(ThumbCell(PositionOfCell(cell, min, 1000, cells), min, 1000, cells), cell) << cells << " " << cell;
      }
      EXPECT_EQ(PositionOfCell(0, min, 1000, cells), min);
      EXPECT_EQ(PositionOfCell(cells - 1, min, 1000, cells), 1000);
    }
  }
}

TEST(TextForCells, DropsTheMnemonicMarker) {
  int index = -2;
  EXPECT_EQ(StripMnemonic("Noise &variance:", &index), "Noise variance:");
  EXPECT_EQ(index, 6);
  EXPECT_EQ(StripMnemonic("Salt && pepper", &index), "Salt & pepper");
  EXPECT_EQ(index, -1);
  EXPECT_EQ(StripMnemonic("&&&x", &index), "&x");
  EXPECT_EQ(index, 1);
  EXPECT_EQ(StripMnemonic("Trailing&", &index), "Trailing&");
  EXPECT_EQ(index, -1);
  EXPECT_EQ(StripMnemonic("\xC3\xA9t\xC3\xA9 &\xC3\xA0", &index), "\xC3\xA9t\xC3\xA9 \xC3\xA0");
  EXPECT_EQ(index, 4);  // counted in characters, not bytes
  EXPECT_EQ(TextColumns("\xC3\xA9t\xC3\xA9"), 3);
}

TEST(TextForCells, WrapsAtLineFeedsAndSpacesAndExpandsTabs) {
  EXPECT_THAT(WrapText("An error occurred while trying to perform the operation: \n\n\tdisk full", 60),
              ElementsAre("An error occurred while trying to perform the operation: ", "", "        disk full"));
  EXPECT_THAT(WrapText("one two three", 8), ElementsAre("one two", "three"));
  EXPECT_THAT(WrapText("abcdefghij", 4), ElementsAre("abcd", "efgh", "ij"));
  EXPECT_THAT(WrapText("a\tb", 4), ElementsAre("a", "b"));
  EXPECT_THAT(WrapText("", 10), ElementsAre(""));
}

}  // namespace
