// The curvature term on fields whose curvature is known.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numeric>
#include <random>

#include "host/Curvature.h"
#include "host/HostErrors.h"
#include "host/Image.h"
#include "hostlib/HostImage.h"

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
