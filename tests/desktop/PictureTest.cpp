// The picture window's painting, into an offscreen cairo surface: where a
// picture falls fitted and at 1:1, which of its pixels each screen pixel
// shows, and zooming about the pointer.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "desktop/picture.h"

using namespace win::desktop;

namespace {

using Colour = std::array<int, 3>;

// A picture whose every pixel has its own colour, in rows `stride` bytes apart.
struct TestPicture {
  int width, height, stride;
  std::vector<unsigned char> rgba;
  TestPicture(int w, int h, int padding = 0) : width(w), height(h), stride(4 * w + padding), rgba(stride * h, 0) {}
  static Colour ColourAt(int x, int y) { return {10 + 15 * x, 20 + 30 * y, 200}; }
  void FillDistinct() {
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) Set(x, y, ColourAt(x, y));
    }
  }
  void Set(int x, int y, const Colour& c) {
    unsigned char* p = &rgba[y * stride + 4 * x];
    p[0] = static_cast<unsigned char>(c[0]);
    p[1] = static_cast<unsigned char>(c[1]);
    p[2] = static_cast<unsigned char>(c[2]);
    p[3] = 0;  // not shown: the picture is opaque whatever its alpha
  }
};

// Paints the picture into a `width` by `height` surface and reads it back.
class Painted {
 public:
  Painted(const TestPicture& picture, int width, int height, const PictureView& view,
          const TestPicture* overlay = nullptr, PicturePart part = PicturePart{}, const TestPicture* original = nullptr)
      : m_surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height)) {
    cairo_surface_t* source = PictureSurface(picture.rgba.data(), picture.width, picture.height, picture.stride);
    PictureOverlay over;
    if (overlay != nullptr) {
      over.surface = PictureSurface(overlay->rgba.data(), overlay->width, overlay->height, overlay->stride);
      over.part = part;
    }
    cairo_surface_t* before =
        original != nullptr ? PictureSurface(original->rgba.data(), original->width, original->height, original->stride)
                            : nullptr;
    cairo_t* cr = cairo_create(m_surface);
    PaintPicture(cr, width, height, source, view, over, before);
    cairo_destroy(cr);
    if (before != nullptr) cairo_surface_destroy(before);
    if (over.surface != nullptr) cairo_surface_destroy(over.surface);
    cairo_surface_destroy(source);
    cairo_surface_flush(m_surface);
  }
  ~Painted() { cairo_surface_destroy(m_surface); }

  Colour At(int x, int y) const {
    const unsigned char* row = cairo_image_surface_get_data(m_surface) + y * cairo_image_surface_get_stride(m_surface);
    const std::uint32_t pixel = reinterpret_cast<const std::uint32_t*>(row)[x];
    return {static_cast<int>((pixel >> 16) & 0xFF), static_cast<int>((pixel >> 8) & 0xFF), static_cast<int>(pixel & 0xFF)};
  }

 private:
  cairo_surface_t* m_surface;
};

const Colour kBackground = {64, 64, 64};

TEST(PicturePainting, AFittedPictureFillsTheWindowsWidthCentredWithEachPixelASquare) {
  TestPicture picture(4, 2, 12);  // rows padded: the stride is honoured
  picture.FillDistinct();
  // 4 by 2 in 8 by 8: twice its size, rows 2 to 5, background above and below.
  const Painted painted(picture, 8, 8, PictureView{});
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const Colour expected = y < 2 || y >= 6 ? kBackground : TestPicture::ColourAt(x / 2, (y - 2) / 2);
      EXPECT_EQ(painted.At(x, y), expected) << "at " << x << ", " << y;
    }
  }
  const PicturePlacement place = PlacePicture(8, 8, 4, 2, PictureView{});
  EXPECT_EQ(place.scale, 2.0);
  EXPECT_EQ(place.x, 0.0);
  EXPECT_EQ(place.y, 2.0);
}

TEST(PicturePainting, OneToOneShowsThePicturesOwnPixelsAroundTheViewsCentre) {
  TestPicture picture(16, 8);
  picture.FillDistinct();
  PictureView view;
  view.fit = false;
  view.zoom = 1.0;
  view.centreX = 8;
  view.centreY = 4;
  // Picture point (8, 4) at the middle of a 6 by 6 area: area (x, y) shows
  // picture (x + 5, y + 1).
  const Painted painted(picture, 6, 6, view);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 6; ++x) EXPECT_EQ(painted.At(x, y), TestPicture::ColourAt(x + 5, y + 1)) << x << ", " << y;
  }
  // Past the picture's edge: the background.
  view.centreX = 0;
  const Painted atEdge(picture, 6, 6, view);
  EXPECT_EQ(atEdge.At(2, 2), kBackground);
  EXPECT_EQ(atEdge.At(3, 2), TestPicture::ColourAt(0, 3));
}

TEST(PicturePainting, AReducedPictureKeepsItsColoursAwayFromTheirEdges) {
  // Left half red, right half green, 16 by 8 into 8 by 8: half size, rows 2 to 5.
  TestPicture picture(16, 8);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) picture.Set(x, y, x < 8 ? Colour{255, 0, 0} : Colour{0, 255, 0});
  }
  const Painted painted(picture, 8, 8, PictureView{});
  EXPECT_EQ(painted.At(1, 3), (Colour{255, 0, 0}));
  EXPECT_EQ(painted.At(6, 4), (Colour{0, 255, 0}));
  EXPECT_EQ(painted.At(4, 0), kBackground);
  EXPECT_EQ(painted.At(4, 7), kBackground);
}

TEST(PicturePainting, ZoomingKeepsThePointUnderThePointerAndStaysWithinItsBounds) {
  // 16 by 16 fitted into 8 by 8 (half size); the pointer at (3, 5) is over
  // picture point (6, 10).
  const PictureView fitted;
  PictureView zoomed = ZoomAbout(fitted, 4.0, 3, 5, 8, 8, 16, 16);
  EXPECT_FALSE(zoomed.fit);
  EXPECT_DOUBLE_EQ(zoomed.zoom, 2.0);
  PicturePlacement place = PlacePicture(8, 8, 16, 16, zoomed);
  EXPECT_DOUBLE_EQ((3 - place.x) / place.scale, 6.0);
  EXPECT_DOUBLE_EQ((5 - place.y) / place.scale, 10.0);
  // And back out about another point.
  zoomed = ZoomAbout(zoomed, 0.5, 7, 1, 8, 8, 16, 16);
  place = PlacePicture(8, 8, 16, 16, zoomed);
  EXPECT_DOUBLE_EQ(zoomed.zoom, 1.0);
  EXPECT_DOUBLE_EQ((7 - place.x) / place.scale, 6.0 + (7 - 3) / 2.0);
  EXPECT_DOUBLE_EQ(ZoomAbout(zoomed, 1e6, 0, 0, 8, 8, 16, 16).zoom, 64.0);
  EXPECT_DOUBLE_EQ(ZoomAbout(zoomed, 1e-6, 0, 0, 8, 8, 16, 16).zoom, 1.0 / 64);
}

TEST(PictureOverlay, APartIsShownOverItsPixelsAndOutlinedJustOutsideThem) {
  TestPicture picture(4, 2);
  picture.FillDistinct();
  TestPicture overlay(2, 1);
  overlay.Set(0, 0, {250, 5, 5});
  overlay.Set(1, 0, {5, 250, 5});
  // Fitted into 8 by 8 at twice the size, rows 2 to 5: the part at picture
  // (1, 0), 2 by 1, covers screen columns 2 to 5 of rows 2 and 3.
  const Painted painted(picture, 8, 8, PictureView{}, &overlay, PicturePart{1, 0, 2, 1});
  const Colour outline = {255, 200, 0};
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      Colour expected = y < 2 || y >= 6 ? kBackground : TestPicture::ColourAt(x / 2, (y - 2) / 2);
      if (x >= 2 && x < 6 && y >= 2 && y < 4) expected = x < 4 ? Colour{250, 5, 5} : Colour{5, 250, 5};
      const bool onOutline = ((y == 1 || y == 4) && x >= 1 && x <= 6) || ((x == 1 || x == 6) && y >= 1 && y <= 4);
      if (onOutline) expected = outline;
      EXPECT_EQ(painted.At(x, y), expected) << "at " << x << ", " << y;
    }
  }
}

TEST(PictureOverlay, APartCoveringThePictureIsNotOutlined) {
  TestPicture picture(4, 2);
  picture.FillDistinct();
  TestPicture overlay(4, 2);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) overlay.Set(x, y, {x * 50, y * 100, 7});
  }
  const Painted painted(picture, 8, 8, PictureView{}, &overlay, PicturePart{0, 0, 4, 2});
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const Colour expected = y < 2 || y >= 6 ? kBackground : Colour{x / 2 * 50, (y - 2) / 2 * 100, 7};
      EXPECT_EQ(painted.At(x, y), expected) << "at " << x << ", " << y;
    }
  }
}

TEST(PictureSplit, TheOriginalIsLeftOfTheLineAndThePictureWithItsPartRightOfIt) {
  TestPicture original(4, 2);
  original.FillDistinct();
  TestPicture picture(4, 2);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) picture.Set(x, y, {100 + x, 0, 100 + y});
  }
  TestPicture overlay(1, 1);
  overlay.Set(0, 0, {1, 2, 3});
  PictureView view;
  view.split = 3;
  // Fitted at twice the size, rows 2 to 5; the line on column 3; the part
  // at picture (3, 1) is screen columns 6 and 7 of rows 4 and 5, outlined
  // on column 5 and rows 3 and 6 (its right side is off the area).
  const Painted painted(picture, 8, 8, view, &overlay, PicturePart{3, 1, 1, 1}, &original);
  const Colour line = {255, 255, 255};
  const Colour outline = {255, 200, 0};
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      Colour expected = kBackground;
      if (y >= 2 && y < 6) expected = x < 3 ? TestPicture::ColourAt(x / 2, (y - 2) / 2) : Colour{100 + x / 2, 0, 100 + (y - 2) / 2};
      if ((x == 5 && y >= 3 && y <= 6) || ((y == 3 || y == 6) && x >= 5)) expected = outline;
      if (x >= 6 && y >= 4 && y < 6) expected = {1, 2, 3};
      if (x == 3) expected = line;
      EXPECT_EQ(painted.At(x, y), expected) << "at " << x << ", " << y;
    }
  }
  // No line: the picture alone.
  view.split = -1;
  const Painted whole(picture, 8, 8, view, nullptr, PicturePart{}, &original);
  EXPECT_EQ(whole.At(1, 2), (Colour{100, 0, 100}));
}

TEST(PictureView, TheVisiblePartIsEveryPicturePixelTheAreaShowsAnyOf) {
  // Fitted: the whole picture, whatever the area's shape.
  EXPECT_EQ(VisiblePart(300, 100, 640, 480, PictureView{}), (PicturePart{0, 0, 640, 480}));
  PictureView view;
  view.fit = false;
  view.zoom = 1.0;
  view.centreX = 50;
  view.centreY = 40;
  // 1:1, 40 by 30 about (50, 40): columns 30 to 69, rows 25 to 54.
  EXPECT_EQ(VisiblePart(40, 30, 100, 80, view), (PicturePart{30, 25, 40, 30}));
  // At 4x, about (10.3, 5): the area's 10 columns reach picture 9.05 to 11.55,
  // so columns 9 to 11; its 6 rows 4.25 to 5.75, so row 4 and row 5.
  view.zoom = 4.0;
  view.centreX = 10.3;
  view.centreY = 5.0;
  EXPECT_EQ(VisiblePart(10, 6, 100, 80, view), (PicturePart{9, 4, 3, 2}));
  // Near an edge the part is cut at the picture's border.
  view.zoom = 1.0;
  view.centreX = 5;
  view.centreY = 78;
  EXPECT_EQ(VisiblePart(40, 30, 100, 80, view), (PicturePart{0, 63, 25, 17}));
  // Panned off the picture: nothing.
  view.centreX = 500;
  EXPECT_EQ(VisiblePart(40, 30, 100, 80, view), (PicturePart{}));
}

}  // namespace
