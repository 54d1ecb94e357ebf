#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "app/ImageFile.h"
#include "app/NoiseEstimate.h"
#include "hostlib/HostImage.h"

namespace calvane::app {
namespace {

// Shapes, a slow ramp and fine stripes, plus Gaussian noise of `sigma` per
// channel (in units of `scale`).
HostImagePtr Generated(int width, int height, const std::vector<double>& sigmas, float scale, unsigned seed) {
  HostImagePtr image(CreateImage(width, height, static_cast<int>(sigmas.size()), scale));
  std::mt19937 rng(seed);
  for (int c = 0; c < static_cast<int>(sigmas.size()); ++c) {
    std::normal_distribution<double> noise(0.0, sigmas[static_cast<std::size_t>(c)]);
    float* plane = ImagePlane(image.get(), c);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        double v = 0.2 + 0.3 * x / width;
        if (std::hypot(x - width * 0.6, y - height * 0.4) < height * 0.25) v = 0.8;
        if (y > height * 0.8) v = (x / 3) % 2 == 0 ? 0.3 : 0.6;
        plane[y * width + x] = static_cast<float>(v * scale + noise(rng));
      }
    }
  }
  return image;
}

TEST(NoiseEstimate, WithinTenPercentOfTheTrueLevel) {
  for (double sigma : {2.0, 5.0, 10.0, 20.0, 40.0}) {
    const HostImagePtr image = Generated(256, 192, {sigma}, 255.0f, 11);
    EXPECT_NEAR(EstimateImageNoise(image.get()), sigma, 0.1 * sigma) << "sigma " << sigma;
  }
}

TEST(NoiseEstimate, FollowsTheImageUnits) {
  const HostImagePtr wide = Generated(200, 200, {0.05 * 65535}, 65535.0f, 3);
  EXPECT_NEAR(EstimateImageNoise(wide.get()) / 65535.0, 0.05, 0.005);
  const HostImagePtr unit = Generated(200, 200, {0.05}, 1.0f, 3);
  EXPECT_NEAR(EstimateImageNoise(unit.get()), 0.05, 0.005);
}

TEST(NoiseEstimate, ChannelsCombineAsTheirRootMeanSquare) {
  const HostImagePtr image = Generated(256, 256, {4.0, 8.0, 16.0}, 255.0f, 5);
  const double expected = std::sqrt((16.0 + 64.0 + 256.0) / 3.0);
  EXPECT_NEAR(EstimateImageNoise(image.get()), expected, 0.1 * expected);
}

TEST(NoiseEstimate, ALargeImagesChannelsMeasuredSideBySideGiveEachItsOwn) {
  // Large enough for the channels to be measured on threads of their own.
  const HostImagePtr image = Generated(640, 480, {3.0, 9.0, 27.0, 1.0}, 255.0f, 8);
  double sumOfSquares = 0.0;
  for (int c = 0; c < 4; ++c) {
    const double sigma = EstimatePlaneNoise(ImagePlane(image.get(), c), 640, 480);
    sumOfSquares += sigma * sigma;
  }
  EXPECT_EQ(EstimateImageNoise(image.get()), std::sqrt(sumOfSquares / 4));
  EXPECT_NEAR(EstimateImageNoise(image.get()), std::sqrt((9.0 + 81.0 + 729.0 + 1.0) / 4), 0.5);
}

TEST(NoiseEstimate, CleanAndTinyImagesHaveNone) {
  const HostImagePtr clean = Generated(64, 64, {0.0}, 255.0f, 1);
  EXPECT_LT(EstimateImageNoise(clean.get()), 0.01);
  const HostImagePtr tiny = Generated(3, 50, {10.0}, 255.0f, 1);
  EXPECT_EQ(EstimateImageNoise(tiny.get()), 0.0);
}

// A plane of a + b x + c y has no noise: the wavelet's two vanishing
// moments cancel it, for every coefficient that lies inside the plane. Each
// plane sits in an allocation of exactly its size, so that a read past the
// end of its last row leaves the allocation (AddressSanitizer reports it);
// at width 4 a coefficient reaching past a row end would also take the
// ramp's jump to the next row and make half of them nonzero.
TEST(NoiseEstimate, LinearRampsHaveNoneAndTheReadsStayInTheRows) {
  for (int width : {4, 5, 6, 7, 8, 16, 33}) {
    for (int height : {4, 5, 6, 9, 16}) {
      std::vector<float> plane(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) plane[static_cast<std::size_t>(y * width + x)] = static_cast<float>(7 + 3 * x + 5 * y);
      }
      EXPECT_LT(EstimatePlaneNoise(plane.data(), width, height), 1e-5) << width << "x" << height;
    }
  }
}

}  // namespace
}  // namespace calvane::app
