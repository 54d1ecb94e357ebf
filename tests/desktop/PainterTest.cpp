// Painting each control kind into an offscreen image, checked at known
// pixels, and the mouse routed from what was painted back to the window
// system's pixels.
#include <gtest/gtest.h>
#include <pango/pangocairo.h>

#include <cmath>

#include "TestDialog.h"
#include "desktop/painter.h"
#include "win/commctrl.h"

using win::desktop::Box;
using win::desktop::Rgb;
namespace colour = win::desktop::colour;

namespace {

// An offscreen image to paint into, `scale` device pixels per logical one.
class Image {
 public:
  Image(int width, int height, int scale = 1)
      : m_surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width * scale, height * scale)),
        m_cr(cairo_create(m_surface)),
        m_pango(win::desktop::OffscreenPangoContext(96.0)) {
    cairo_surface_set_device_scale(m_surface, scale, scale);
    cairo_set_source_rgb(m_cr, colour::kFace.r, colour::kFace.g, colour::kFace.b);
    cairo_paint(m_cr);
    m_font = win::desktop::MeasureDialogFont(m_pango, 8);
  }
  ~Image() {
    g_object_unref(m_pango);
    cairo_destroy(m_cr);
    cairo_surface_destroy(m_surface);
  }
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  win::desktop::ControlPlace Paint(const win::WindowView& view, const Box& box, bool windowActive = true,
                                   win::desktop::EditScroll* scroll = nullptr) {
    win::desktop::PaintContext paint{m_cr, m_pango, &m_font, windowActive, scroll};
    return win::desktop::PaintControl(paint, view, box);
  }
  std::vector<win::desktop::ControlPlace> PaintWindow(HWND hwnd) {
    win::WindowView view;
    win::DescribeWindow(hwnd, &view);
    return m_painter.Paint(m_cr, m_pango, win::desktop::LayOutWindow(view, m_font), true);
  }

  // A device pixel.
  Rgb At(int x, int y) {
    cairo_surface_flush(m_surface);
    const unsigned char* data = cairo_image_surface_get_data(m_surface);
    const int stride = cairo_image_surface_get_stride(m_surface);
    const auto pixel = *reinterpret_cast<const std::uint32_t*>(data + y * stride + x * 4);
    return Rgb{((pixel >> 16) & 0xFF) / 255.0, ((pixel >> 8) & 0xFF) / 255.0, (pixel & 0xFF) / 255.0};
  }
  const win::desktop::DialogFont& Font() const { return m_font; }

 private:
  cairo_surface_t* m_surface;
  cairo_t* m_cr;
  PangoContext* m_pango;
  win::desktop::DialogFont m_font;
  win::desktop::WindowPainter m_painter;
};

// Equal in 8 bits per channel.
::testing::AssertionResult Is(const Rgb& pixel, const Rgb& expected) {
  auto near = [](double a, double b) { return std::abs(a - b) < 0.6 / 255; };
  if (near(pixel.r, expected.r) && near(pixel.g, expected.g) && near(pixel.b, expected.b)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "pixel (" << pixel.r * 255 << ", " << pixel.g * 255 << ", "
                                       << pixel.b * 255 << ") is not (" << expected.r * 255 << ", "
                                       << expected.g * 255 << ", " << expected.b * 255 << ")";
}

bool IsDark(const Rgb& pixel) { return pixel.r + pixel.g + pixel.b < 1.2; }

win::WindowView Button(DWORD type, const std::string& text) {
  win::WindowView view;
  view.kind = win::ControlKind::Button;
  view.style = WS_CHILD | WS_VISIBLE | type;
  view.text = text;
  view.enabled = true;
  view.visible = true;
  return view;
}

TEST(DesktopPainter, TheDefaultButtonHasAFrameTwiceAsThickInTheDarkColour) {
  Image image(120, 40);
  win::WindowView normal = Button(BS_PUSHBUTTON, "Cancel");
  win::WindowView preferred = Button(BS_DEFPUSHBUTTON, "OK");
  preferred.button.isDefault = true;
  image.Paint(normal, Box{0, 0, 50, 20});
  image.Paint(preferred, Box{60, 0, 50, 20});
  EXPECT_TRUE(Is(image.At(0, 3), colour::kShadow));
  EXPECT_TRUE(Is(image.At(1, 3), colour::kButtonFace));
  EXPECT_TRUE(Is(image.At(60, 3), colour::kDark));
  EXPECT_TRUE(Is(image.At(61, 3), colour::kDark));
  EXPECT_TRUE(Is(image.At(62, 3), colour::kButtonFace));
  EXPECT_TRUE(Is(image.At(108, 17), colour::kDark));  // the right and bottom sides too
  EXPECT_TRUE(Is(image.At(107, 16), colour::kButtonFace));
}

TEST(DesktopPainter, OnAHighDensityScreenTheFrameIsScaledInDevicePixels) {
  Image image(60, 30, 2);
  win::WindowView preferred = Button(BS_DEFPUSHBUTTON, "OK");
  preferred.button.isDefault = true;
  image.Paint(preferred, Box{0, 0, 50, 20});
  for (int x = 0; x < 4; ++x) EXPECT_TRUE(Is(image.At(x, 10), colour::kDark)) << x;
  EXPECT_TRUE(Is(image.At(4, 10), colour::kButtonFace));
}

TEST(DesktopPainter, AFocusedButtonShowsADottedRectangle) {
  Image image(60, 30);
  win::WindowView button = Button(BS_PUSHBUTTON, "Help");
  button.focused = true;
  image.Paint(button, Box{0, 0, 50, 20});
  // Along the top of the rectangle three pixels in: dots and gaps in turn.
  int dots = 0;
  for (int x = 4; x < 46; ++x) dots += Is(image.At(x, 3), colour::kText) ? 1 : 0;
  EXPECT_NEAR(dots, 21, 1);
  Image unfocused(60, 30);
  button.focused = false;
  unfocused.Paint(button, Box{0, 0, 50, 20});
  for (int x = 4; x < 46; ++x) EXPECT_FALSE(Is(unfocused.At(x, 3), colour::kText)) << x;
}

// Dark pixels strictly inside the check box's square.
int MarkPixels(Image& image, const Box& square) {
  int count = 0;
  for (int y = square.y + 1; y < square.Bottom() - 1; ++y) {
    for (int x = square.x + 1; x < square.Right() - 1; ++x) count += IsDark(image.At(x, y)) ? 1 : 0;
  }
  return count;
}

TEST(DesktopPainter, ACheckedBoxShowsItsMark) {
  Image image(200, 40);
  win::WindowView box = Button(BS_AUTOCHECKBOX, "&Preview");
  const int side = image.Font().baseUnitY;  // a square as high as a line
  const Box checkedBox{0, 0, 90, side}, clearBox{100, 0, 90, side};
  box.button.checked = true;
  image.Paint(box, checkedBox);
  box.button.checked = false;
  image.Paint(box, clearBox);
  // The mark: two strokes across the square.
  EXPECT_GE(MarkPixels(image, Box{0, 0, side, side}), side);
  EXPECT_EQ(MarkPixels(image, Box{100, 0, side, side}), 0);
  EXPECT_TRUE(Is(image.At(100, side / 2), colour::kShadow));
  EXPECT_TRUE(Is(image.At(101, side / 2), colour::kField));
}

TEST(DesktopPainter, AGroupBoxFramesItsControlsAndLeavesRoomForItsCaption) {
  Image image(120, 60);
  win::WindowView group = Button(BS_GROUPBOX, "Noise");
  const win::desktop::ControlPlace place = image.Paint(group, Box{0, 0, 100, 50});
  EXPECT_TRUE(place.frame);
  EXPECT_TRUE(Is(image.At(0, 30), colour::kShadow));
  EXPECT_TRUE(Is(image.At(99, 30), colour::kShadow));
  EXPECT_TRUE(Is(image.At(50, 49), colour::kShadow));
  const int lineY = image.Font().baseUnitY / 2;
  EXPECT_TRUE(Is(image.At(80, lineY), colour::kShadow));  // the top line, past the caption
  EXPECT_FALSE(Is(image.At(image.Font().baseUnitX + 1, lineY), colour::kShadow));  // broken by it
}

TEST(DesktopPainter, ALabelUnderlinesItsMnemonicOnly) {
  Image marked(120, 30), plain(120, 30);
  win::WindowView label;
  label.kind = win::ControlKind::Static;
  label.style = WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP;
  label.enabled = true;
  label.text = "&Iterations:";
  marked.Paint(label, Box{0, 0, 110, 20});
  label.text = "Iterations:";
  plain.Paint(label, Box{0, 0, 110, 20});
  // The two differ by the underline below the "I", and nowhere else.
  int differing = 0, rightmost = -1;
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 110; ++x) {
      if (!Is(marked.At(x, y), plain.At(x, y))) {
        ++differing;
        rightmost = std::max(rightmost, x);
      }
    }
  }
  EXPECT_GT(differing, 0);
  EXPECT_LT(rightmost, marked.Font().baseUnitX);
  // "&&" is a plain ampersand, and marks nothing.
  int mnemonic = 0;
  EXPECT_EQ(win::desktop::StripMnemonic("Salt && &pepper", &mnemonic), "Salt & pepper");
  EXPECT_EQ(mnemonic, 7);
  EXPECT_EQ(win::desktop::StripMnemonic("A && B", &mnemonic), "A & B");
  EXPECT_EQ(mnemonic, -1);
}

win::WindowView Edit(const std::string& text, int selStart, int selEnd, bool focused) {
  win::WindowView view;
  view.kind = win::ControlKind::Edit;
  view.style = WS_CHILD | WS_VISIBLE | WS_BORDER;
  view.text = text;
  view.enabled = true;
  view.focused = focused;
  view.edit.selStart = selStart;
  view.edit.selEnd = selEnd;
  view.edit.caret = selEnd;
  return view;
}

int ColumnCount(Image& image, int x, int top, int bottom, const Rgb& c) {
  int count = 0;
  for (int y = top; y < bottom; ++y) count += Is(image.At(x, y), c) ? 1 : 0;
  return count;
}

TEST(DesktopPainter, AFocusedFieldShowsItsCaretInAnActiveWindowOnly) {
  Image image(200, 30);
  const Box field{0, 0, 60, 20}, inactive{70, 0, 60, 20}, unfocused{140, 0, 60, 20};
  const auto place = image.Paint(Edit("", 0, 0, true), field);
  image.Paint(Edit("", 0, 0, true), inactive, false);
  image.Paint(Edit("", 0, 0, false), unfocused);
  ASSERT_EQ(place.caretX.size(), 1u);
  const int caret = static_cast<int>(std::lround(place.caretX[0]));
  const int line = image.Font().baseUnitY;
  EXPECT_GE(ColumnCount(image, caret, 1, 19, colour::kText), line - 1);
  EXPECT_EQ(ColumnCount(image, caret + 70, 1, 19, colour::kText), 0);
  EXPECT_EQ(ColumnCount(image, caret + 140, 1, 19, colour::kText), 0);
  // The focused field's frame is in the selection colour.
  EXPECT_TRUE(Is(image.At(0, 10), colour::kSelection));
  EXPECT_TRUE(Is(image.At(140, 10), colour::kShadow));
}

TEST(DesktopPainter, SelectedTextIsShownOnTheSelectionColour) {
  Image image(100, 30);
  const auto place = image.Paint(Edit("1234", 1, 3, true), Box{0, 0, 80, 20});
  ASSERT_EQ(place.caretX.size(), 5u);
  // Inside the frame, the selection's colour lies behind the second and
  // third characters (between their glyphs' strokes) and nowhere else.
  const int left = static_cast<int>(std::ceil(place.caretX[1])), right = static_cast<int>(place.caretX[3]);
  int inside = 0, outside = 0;
  for (int y = 2; y < 18; ++y) {
    for (int x = 2; x < 78; ++x) {
      const bool selection = Is(image.At(x, y), colour::kSelection);
      if (x >= left && x < right) {
        inside += selection ? 1 : 0;
      } else if (x < left - 1 || x > right) {
        outside += selection ? 1 : 0;
      }
    }
  }
  EXPECT_GE(inside, (right - left) * image.Font().baseUnitY / 3);
  EXPECT_EQ(outside, 0);
}

TEST(DesktopPainter, AFieldScrollsItsTextToKeepTheCaretInView) {
  Image image(100, 30);
  win::desktop::EditScroll scroll;
  const std::string text = "0123456789012345678901234567890123456789";
  win::WindowView end = Edit(text, 40, 40, true);
  end.edit.caretShown = 1;  // the caret moved there: it is shown
  const auto place = image.Paint(end, Box{0, 0, 50, 20}, true, &scroll);
  EXPECT_GT(scroll.pixels, 0);
  EXPECT_LT(place.caretX.front(), 0);
  EXPECT_GE(place.caretX.back(), 1);
  EXPECT_LT(place.caretX.back(), 50);
  // Back at the start, the text shows from its first character.
  win::WindowView home = Edit(text, 0, 0, true);
  home.edit.caretShown = 2;
  const auto start = image.Paint(home, Box{0, 0, 50, 20}, true, &scroll);
  EXPECT_EQ(scroll.pixels, 0);
  EXPECT_EQ(start.caretX.front(), 3);  // the frame and the padding
}

// A value set whole and then selected (as a dialog does on focus) shows
// from its start, though the caret is at its end: selecting does not
// scroll; only a caret to be shown does.
TEST(DesktopPainter, AValueSetWholeShowsItsStartUntilTheCaretMoves) {
  Image image(100, 30);
  win::desktop::EditScroll scroll;
  const std::string text = "0123456789012345678901234567890123456789";
  win::WindowView selected = Edit(text, 0, 40, true);
  selected.edit.textSet = 1;
  const auto place = image.Paint(selected, Box{0, 0, 50, 20}, true, &scroll);
  EXPECT_EQ(scroll.pixels, 0);
  EXPECT_EQ(place.caretX.front(), 3);
  selected.edit.caretShown = 1;  // End pressed: now it scrolls
  image.Paint(selected, Box{0, 0, 50, 20}, true, &scroll);
  EXPECT_GT(scroll.pixels, 0);
  selected.edit.textSet = 2;  // a new value set whole: back to the start
  image.Paint(selected, Box{0, 0, 50, 20}, true, &scroll);
  EXPECT_EQ(scroll.pixels, 0);
}

// The middle of the thumb on a row: the run of thumb-coloured pixels.
double ThumbCentre(Image& image, int y, int from, int to) {
  int first = -1, last = -1;
  for (int x = from; x < to; ++x) {
    if (Is(image.At(x, y), colour::kThumb) || Is(image.At(x, y), colour::kThumbActive)) {
      if (first < 0) first = x;
      last = x;
    }
  }
  return first < 0 ? -1 : (first + last) / 2.0;
}

TEST(DesktopPainter, TheTrackbarsThumbStandsInProportionToItsPosition) {
  desktop_test::TestDialog dialog;
  HWND slider = dialog.Item(term_test::kFirstSlider);
  const Box box{0, 0, 234, 27};
  std::map<int, double> centres;
  for (int pos : {0, 250, 500, 750, 1000}) {
    SendMessageA(slider, TBM_SETPOS, TRUE, pos);
    win::WindowView view;
    ASSERT_TRUE(win::DescribeWindow(slider, &view));
    Image image(240, 30);
    image.Paint(view, box);
    centres[pos] = ThumbCentre(image, box.height / 2, 0, box.width);
    ASSERT_GE(centres[pos], 0) << "no thumb at " << pos;
  }
  // At the ends within a thumb's width of the box's ends, and linear
  // between them (within a pixel of rounding each way).
  EXPECT_LT(centres[0], box.width / 8.0);
  EXPECT_GT(centres[1000], box.width * 7 / 8.0);
  for (int pos : {250, 500, 750}) {
    EXPECT_NEAR(centres[pos], centres[0] + (centres[1000] - centres[0]) * pos / 1000.0, 1.5) << pos;
  }
}

TEST(DesktopPainter, AScrollBarsThumbIsWhereTheWindowSystemPutsItInProportion) {
  win::WindowView bar;
  bar.kind = win::ControlKind::ScrollBar;
  bar.style = WS_CHILD | WS_VISIBLE | SBS_HORZ;
  bar.enabled = true;
  bar.clientRect = RECT{100, 100, 200, 116};
  bar.thumbRect = RECT{40, 0, 60, 16};
  Image image(210, 40);
  image.Paint(bar, Box{0, 0, 200, 32});
  EXPECT_TRUE(Is(image.At(80, 16), colour::kThumb));
  EXPECT_TRUE(Is(image.At(119, 16), colour::kThumb));
  EXPECT_TRUE(Is(image.At(79, 16), colour::kTrack));
  EXPECT_TRUE(Is(image.At(120, 16), colour::kTrack));
  // Arrow buttons at both ends: an arrow's dark pixels at their middles.
  EXPECT_TRUE(IsDark(image.At(16, 16)));
  EXPECT_TRUE(IsDark(image.At(184, 16)));
}

// How many dark pixels a row of a box has.
int DarkInRow(Image& image, int y, int from, int to) {
  int count = 0;
  for (int x = from; x < to; ++x) count += IsDark(image.At(x, y)) ? 1 : 0;
  return count;
}

TEST(DesktopPainter, AnUpDownPointsUpInItsUpperHalfAndDownInItsLowerHalf) {
  win::WindowView updown;
  updown.kind = win::ControlKind::UpDown;
  updown.style = WS_CHILD | WS_VISIBLE;
  updown.enabled = true;
  Image image(40, 80);
  image.Paint(updown, Box{0, 0, 30, 60});
  // Each arrow is widest at its base: below its apex for the upper one,
  // above it for the lower one.
  auto widestRow = [&](int from, int to) {
    int best = from, width = -1;
    for (int y = from; y < to; ++y) {
      const int dark = DarkInRow(image, y, 1, 29);
      if (dark > width) {
        width = dark;
        best = y;
      }
    }
    return best;
  };
  auto apexRow = [&](int from, int to, int step) {
    for (int y = step > 0 ? from : to - 1; y >= from && y < to; y += step) {
      if (DarkInRow(image, y, 1, 29) > 0) return y;
    }
    return -1;
  };
  EXPECT_GT(widestRow(1, 29), apexRow(1, 29, 1));
  EXPECT_LT(widestRow(31, 59), apexRow(31, 59, -1));
}

// ---- The mouse, from painted places back to the window system ---------------------------------
TEST(DesktopPainter, APressAndDragInAFieldSelectTheCharactersDrawnThere) {
  desktop_test::TestDialog dialog;
  HWND field = dialog.Item(term_test::kFirstEdit);
  // Wide letters: the desktop draws them wider than the window system's
  // character width, so only the characters drawn can tell where they are.
  SetWindowTextA(field, "WWWWW");
  Image image(300, 120);
  const auto places = image.PaintWindow(dialog.Handle());
  const win::desktop::ControlPlace* place = nullptr;
  for (const auto& p : places) {
    if (p.hwnd == field) place = &p;
  }
  ASSERT_NE(place, nullptr);
  ASSERT_EQ(place->caretX.size(), 6u);
  const double y = place->box.y + place->box.height / 2.0;
  // Just right of the edge before the second letter, dragged to just left
  // of the edge after the third.
  const auto hit = win::desktop::ControlAt(places, place->caretX[1] + 1, y);
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(hit->hwnd, field);
  win::PostMouseInput(WM_LBUTTONDOWN, win::desktop::WindowSystemPoint(*place, place->caretX[1] + 1, y, true));
  win::PostMouseInput(WM_MOUSEMOVE, win::desktop::WindowSystemPoint(*place, place->caretX[3] - 1, y, false));
  win::PostMouseInput(WM_LBUTTONUP, win::desktop::WindowSystemPoint(*place, place->caretX[3] - 1, y, false));
  dialog.Pump();
  DWORD start = 0, end = 0;
  SendMessageA(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 1u);
  EXPECT_EQ(end, 3u);
  EXPECT_EQ(GetFocus(), field);
}

TEST(DesktopPainter, DraggingTheThumbDrawnMovesTheTrackbar) {
  desktop_test::TestDialog dialog;
  HWND slider = dialog.Item(term_test::kFirstSlider);
  SendMessageA(slider, TBM_SETPOS, TRUE, 0);
  Image image(300, 120);
  const auto places = image.PaintWindow(dialog.Handle());
  const win::desktop::ControlPlace* place = nullptr;
  for (const auto& p : places) {
    if (p.hwnd == slider) place = &p;
  }
  ASSERT_NE(place, nullptr);
  const int y = place->box.y + place->box.height / 2;
  const double thumb = ThumbCentre(image, y, place->box.x, place->box.Right());
  ASSERT_GE(thumb, 0);
  win::PostMouseInput(WM_LBUTTONDOWN, win::desktop::WindowSystemPoint(*place, thumb, y, true));
  // Past the end of the control: it keeps the mouse, the thumb stops at the end.
  win::PostMouseInput(WM_MOUSEMOVE, win::desktop::WindowSystemPoint(*place, place->box.Right() + 40, y, false));
  win::PostMouseInput(WM_LBUTTONUP, win::desktop::WindowSystemPoint(*place, place->box.Right() + 40, y, false));
  dialog.Pump();
  EXPECT_EQ(SendMessageA(slider, TBM_GETPOS, 0, 0), 1000);
}

TEST(DesktopPainter, AReleaseOffAButtonDoesNotClickIt) {
  desktop_test::TestDialog dialog;
  HWND ok = dialog.Item(IDOK);
  Image image(300, 120);
  const auto places = image.PaintWindow(dialog.Handle());
  const win::desktop::ControlPlace* place = win::desktop::ControlAt(places, 0, 0);
  EXPECT_EQ(place, nullptr);  // the dialog's margin
  for (const auto& p : places) {
    if (p.hwnd == ok) place = &p;
  }
  ASSERT_NE(place, nullptr);
  const double x = place->box.x + place->box.width / 2.0, y = place->box.y + place->box.height / 2.0;
  const POINT down = win::desktop::WindowSystemPoint(*place, x, y, true);
  const POINT away = win::desktop::WindowSystemPoint(*place, x, place->box.Bottom() + 10, false);
  RECT rect{};
  GetWindowRect(ok, &rect);
  EXPECT_TRUE(down.x >= rect.left && down.x < rect.right && down.y >= rect.top && down.y < rect.bottom);
  EXPECT_GE(away.y, rect.bottom);
  // A press is kept on its control even when the point is off it.
  const POINT edge = win::desktop::WindowSystemPoint(*place, x, place->box.Bottom() + 10, true);
  EXPECT_EQ(edge.y, rect.bottom - 1);
}

TEST(DesktopPainter, TheMouseGoesThroughAGroupBoxToWhatItFrames) {
  win::desktop::ControlPlace group, inside;
  group.hwnd = reinterpret_cast<HWND>(1);
  group.box = Box{0, 0, 100, 60};
  group.frame = true;
  inside.hwnd = reinterpret_cast<HWND>(2);
  inside.box = Box{10, 20, 50, 14};
  const std::vector<win::desktop::ControlPlace> places{group, inside};
  ASSERT_NE(win::desktop::ControlAt(places, 20, 25), nullptr);
  EXPECT_EQ(win::desktop::ControlAt(places, 20, 25)->hwnd, inside.hwnd);
  EXPECT_EQ(win::desktop::ControlAt(places, 80, 50), nullptr);
  EXPECT_EQ(win::desktop::ControlAt(places, 100, 25), nullptr);  // one past the right edge
}

}  // namespace
