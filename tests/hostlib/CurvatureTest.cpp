// The curvature term on fields whose curvature is known.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numeric>
#include <random>
#include <set>

#include "host/Curvature.h"
#include "host/HostErrors.h"
#include "host/Image.h"
#include "hostlib/HostImage.h"
#include "hostlib/Parallel.h"
#include "hostlib/ReferenceCurvature.h"
#include "hostlib/TestImages.h"
#include "hostlib/ThreadTeam.h"

namespace {

struct ImageDeleter {
  void operator()(Image* image) const { DeleteImage(image); }
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

TEST(Curvature, ConstantImageHasNoCurvature) {
  ImagePtr in(CreateImage(40, 30, 3, 255.0f));
  for (int c = 0; c < 3; ++c) {
    float* p = ImagePlane(in.get(), c);
    std::fill(p, p + 40 * 30, 100.0f + c);
  }
  ImagePtr out(CreateImage(40, 30, 3, 255.0f));
  TwoD_Curv_Divergence(in.get(), out.get(), 255e-6f);
  for (int c = 0; c < 3; ++c) {
    const float* p = ImagePlane(out.get(), c);
    for (int i = 0; i < 40 * 30; ++i) ASSERT_EQ(p[i], 0.0f);
  }
}

TEST(Curvature, ConeHasCurvatureOneOverRadius) {
  // u = distance from the centre: its level sets are circles, and
  // div(grad u / |grad u|) = 1 / r.
  const int n = 201;
  const double centre = 100.0;
  ImagePtr in(CreateImage(n, n, 1, 255.0f));
  float* p = ImagePlane(in.get(), 0);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) p[y * n + x] = static_cast<float>(std::hypot(x - centre, y - centre));
  ImagePtr out(CreateImage(1, 1, 1, 255.0f));
  TwoD_Curv_Divergence(in.get(), out.get(), 255e-6f);
  ASSERT_EQ(ImageWidth(out.get()), n);
  const float* k = ImagePlane(out.get(), 0);
  int checked = 0;
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      const double r = std::hypot(x - centre, y - centre);
      if (r < 20.0 || r > 80.0) continue;
      ASSERT_NEAR(k[y * n + x], 1.0 / r, 0.25 / r) << "at " << x << "," << y;
      ++checked;
    }
  }
  EXPECT_GT(checked, 10000);
}

TEST(Curvature, DiscEdgeCurvesInwardOnItsBand) {
  // A bright disc on a dark ground: along its edge the flow must pull the
  // inside down and the outside up (negative inside, positive outside),
  // and far from the edge there is nothing to do.
  const int n = 121;
  const double centre = 60.0, radius = 30.0;
  ImagePtr in(CreateImage(n, n, 1, 255.0f));
  float* p = ImagePlane(in.get(), 0);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) p[y * n + x] = std::hypot(x - centre, y - centre) <= radius ? 200.0f : 50.0f;
  ImagePtr out(CreateImage(n, n, 1, 255.0f));
  TwoD_Curv_Divergence(in.get(), out.get(), 255e-6f);
  const float* k = ImagePlane(out.get(), 0);
  double inside = 0.0, outside = 0.0;
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      const double r = std::hypot(x - centre, y - centre);
      if (r < radius - 3 || r > radius + 3) {
        ASSERT_EQ(k[y * n + x], 0.0f);
      } else if (r <= radius) {
        inside += k[y * n + x];
      } else {
        outside += k[y * n + x];
      }
    }
  }
  EXPECT_LT(inside, 0.0);
  EXPECT_GT(outside, 0.0);
  EXPECT_NEAR(inside + outside, 0.0, 1e-2);
}

TEST(Curvature, BoundedAndConservativeOnNoise) {
  std::mt19937 rng(42);
  std::uniform_real_distribution<float> dist(0.0f, 255.0f);
  for (auto [w, h, c] : {std::make_tuple(1, 1, 1), std::make_tuple(1, 50, 1), std::make_tuple(50, 1, 2),
                         std::make_tuple(333, 251, 3)}) {
    ImagePtr in(CreateImage(w, h, c, 255.0f));
    for (int ch = 0; ch < c; ++ch) {
      float* p = ImagePlane(in.get(), ch);
      for (int i = 0; i < w * h; ++i) p[i] = dist(rng);
    }
    ImagePtr out(NewImage(in.get()));
    TwoD_Curv_Divergence(in.get(), out.get(), 255e-6f);
    for (int ch = 0; ch < c; ++ch) {
      const float* k = ImagePlane(out.get(), ch);
      double sum = 0.0;
      for (int i = 0; i < w * h; ++i) {
        ASSERT_TRUE(std::isfinite(k[i]));
        ASSERT_LE(std::fabs(k[i]), 4.0f + 1e-5f);
        sum += k[i];
      }
      EXPECT_NEAR(sum, 0.0, 1e-3 * w * h) << w << "x" << h;
    }
  }
}

TEST(Curvature, TheFourThreadsBandsMeetWithoutASeam) {
  // Each band of rows recomputes the field of the row above it; a band that
  // took the wrong row, or left one out, would differ from the definition
  // along its first row. Bands of unequal heights, one per thread and
  // plane, and several per thread (a narrow image has many rows a chunk);
  // eagerly (bands of rows) and deferred (tasks of whole chunks of samples,
  // which may start and end inside a row).
  ASSERT_EQ(calvane::hostlib::ThreadTeam::Get().Size(), 4);
  const bool wasEager = HostOperationsEager();
  for (auto [w, h, c] : {std::make_tuple(96, 1501, 2), std::make_tuple(16, 33001, 1)}) {
    const calvane::hostlib::PassLayout layout(static_cast<std::size_t>(h), c, static_cast<std::size_t>(w), 64);
    std::set<std::size_t> bandStarts;
    for (std::size_t chunk = 0; chunk < layout.Chunks(); ++chunk) bandStarts.insert(layout.Units(chunk).begin);
    ASSERT_GE(bandStarts.size(), w == 16 ? 8u : 4u) << w << "x" << h;
    calvane::test::ImagePtr in = calvane::test::RandomImage(w, h, c, static_cast<unsigned>(h), 255.0f, 0.0f, 255.0f);
    std::vector<std::vector<double>> expected;
    for (int ch = 0; ch < c; ++ch) {
      expected.push_back(calvane::test::ReferenceCurvature(ImagePlane(in.get(), ch), w, h, 255e-6));
    }
    for (bool eager : {true, false}) {
      SetHostOperationsEager(eager);
      ImagePtr out(CreateImage(1, 1, 1, 255.0f));
      TwoD_Curv_Divergence(in.get(), out.get(), 255e-6f);
      for (int ch = 0; ch < c; ++ch) {
        const float* got = ImagePlane(out.get(), ch);
        for (std::size_t i = 0; i < expected[ch].size(); ++i) {
          const std::size_t row = i / static_cast<std::size_t>(w);
          // A few units in the last place of each of the four unit-sized
          // terms.
          ASSERT_NEAR(got[i], expected[ch][i], 4e-6)
              << (eager ? "eager " : "deferred ") << w << "x" << h << " channel " << ch << " row " << row
              << (bandStarts.count(row) != 0 ? " (a band's first)" : "");
        }
      }
    }
  }
  SetHostOperationsEager(wasEager);
}

TEST(Curvature, OutputTakesTheInputGeometryAndMustBeAnotherImage) {
  ImagePtr in(CreateImage(64, 48, 2, 1.0f));
  ImagePtr out(CreateImage(3, 3, 1, 255.0f));
  TwoD_Curv_Divergence(in.get(), out.get(), 1e-6f);
  EXPECT_EQ(ImageWidth(out.get()), 64);
  EXPECT_EQ(ImageHeight(out.get()), 48);
  EXPECT_EQ(ImageChannels(out.get()), 2);
  EXPECT_THROW(TwoD_Curv_Divergence(in.get(), in.get(), 1e-6f), AlertableError);
  EXPECT_THROW(TwoD_Curv_Divergence(nullptr, out.get(), 1e-6f), AlertableError);
}

}  // namespace
