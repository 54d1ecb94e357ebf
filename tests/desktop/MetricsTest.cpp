// Dialog units through the metrics of the font the desktop draws with, and
// the layout of a dialog made from a template.
#include <gtest/gtest.h>
#include <pango/pangocairo.h>

#include <cmath>

#include "TestDialog.h"
#include "desktop/metrics.h"
#include "desktop/painter.h"

using win::desktop::DialogFont;
using win::desktop::MeasureDialogFont;

namespace {

DialogFont Measured(double dpi, int points) {
  PangoContext* context = win::desktop::OffscreenPangoContext(dpi);
  const DialogFont font = MeasureDialogFont(context, points);
  g_object_unref(context);
  return font;
}

// The width of one letter in "Sans" at `points`, in pixels, at 96 dpi.
double LetterWidth(PangoContext* context, int points, char letter) {
  PangoLayout* layout = pango_layout_new(context);
  PangoFontDescription* description = pango_font_description_from_string(("Sans " + std::to_string(points)).c_str());
  pango_layout_set_font_description(layout, description);
  const char text[2] = {letter, '\0'};
  pango_layout_set_text(layout, text, 1);
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  pango_font_description_free(description);
  g_object_unref(layout);
  return static_cast<double>(logical.width) / PANGO_SCALE;
}

TEST(DesktopMetrics, BaseUnitsAreTheAverageLetterAndTheLineOfSans8) {
  PangoContext* context = win::desktop::OffscreenPangoContext(96.0);
  double total = 0;
  for (char c = 'A'; c <= 'Z'; ++c) total += LetterWidth(context, 8, c) + LetterWidth(context, 8, c + ('a' - 'A'));
  // Letters measured one by one lose the pairs' kerning: within a pixel.
  const double average = total / 52;
  const DialogFont font = MeasureDialogFont(context, 8);
  EXPECT_NEAR(font.baseUnitX, average, 1.0);
  // 8 points at 96 dpi are 10.67 pixels; a line of a sans face is about 1.2
  // of its size.
  EXPECT_GE(font.baseUnitY, 11);
  EXPECT_LE(font.baseUnitY, 15);
  EXPECT_EQ(font.pointSize, 8);
  g_object_unref(context);
}

TEST(DesktopMetrics, UnitsFollowTheScreensResolutionAndTheTemplatesSize) {
  const DialogFont at96 = Measured(96.0, 8);
  const DialogFont at192 = Measured(192.0, 8);
  EXPECT_NEAR(at192.baseUnitX, 2 * at96.baseUnitX, 1);
  EXPECT_NEAR(at192.baseUnitY, 2 * at96.baseUnitY, 1);
  const DialogFont sixteen = Measured(96.0, 16);
  EXPECT_NEAR(sixteen.baseUnitX, 2 * at96.baseUnitX, 1);
  // A template without a font gets the default size.
  EXPECT_EQ(Measured(96.0, 0).baseUnitX, at96.baseUnitX);
}

TEST(DesktopMetrics, DialogUnitsToPixelsRoundHalvesUp) {
  DialogFont font;
  font.baseUnitX = 6;
  font.baseUnitY = 13;
  EXPECT_EQ(font.X(178), 267);
  EXPECT_EQ(font.Y(62), 101);  // 100.75
  EXPECT_EQ(font.X(7), 11);    // 10.5
  EXPECT_EQ(font.Y(4), 7);     // 6.5
  EXPECT_EQ(font.Y(3), 5);     // 4.875
  EXPECT_EQ(font.X(-7), -10);  // -10.5
  EXPECT_EQ(font.X(0), 0);
}

TEST(DesktopMetrics, TheDialogIsLaidOutFromItsTemplatesDialogUnits) {
  desktop_test::TestDialog dialog;
  win::WindowView view;
  ASSERT_TRUE(win::DescribeWindow(dialog.Handle(), &view));
  DialogFont font;
  font.baseUnitX = 7;
  font.baseUnitY = 15;
  const win::desktop::WindowLayout layout = win::desktop::LayOutWindow(view, font);
  EXPECT_EQ(layout.width, font.X(178));
  EXPECT_EQ(layout.height, font.Y(62));
  ASSERT_EQ(layout.controls.size(), 9u);
  // Children in their order: the label, the field and the trackbar of each
  // value, then OK, Cancel and Help.
  const win::desktop::Box ok = layout.controls[6].box;
  EXPECT_EQ(layout.controls[6].view.controlId, IDOK);
  EXPECT_EQ(ok, (win::desktop::Box{font.X(7), font.Y(41), font.X(57) - font.X(7), font.Y(55) - font.Y(41)}));
  const win::desktop::Box slider = layout.controls[2].box;
  EXPECT_EQ(slider, (win::desktop::Box{font.X(93), font.Y(8), font.X(171) - font.X(93), font.Y(17) - font.Y(8)}));
}

TEST(DesktopMetrics, AWindowWithoutDialogUnitsIsScaledByTheFontsRatio) {
  desktop_test::TestDialog dialog;
  // A control the dialog makes itself, at window-system pixels.
  HWND extra = CreateWindowExA(0, "BUTTON", "Extra", WS_CHILD | WS_VISIBLE, 12, 26, 60, 13, dialog.Handle(),
                               nullptr, nullptr, nullptr);
  ASSERT_NE(extra, nullptr);
  win::WindowView view;
  ASSERT_TRUE(win::DescribeWindow(dialog.Handle(), &view));
  DialogFont font;
  font.baseUnitX = 2 * view.dialog.baseUnitX;
  font.baseUnitY = 2 * view.dialog.baseUnitY;
  const win::desktop::WindowLayout layout = win::desktop::LayOutWindow(view, font);
  ASSERT_EQ(layout.controls.size(), 10u);
  EXPECT_EQ(layout.controls.back().box, (win::desktop::Box{24, 52, 120, 26}));
}

}  // namespace
