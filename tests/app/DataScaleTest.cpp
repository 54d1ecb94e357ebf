#include <gtest/gtest.h>

#include <memory>

#include "app/DataScale.h"
#include "app/ImageFile.h"
#include "host/Image.h"
#include "hostlib/HostImage.h"

namespace calvane::app {
namespace {

TEST(DataScale, IsTheSpreadBetweenTheOuterPercentiles) {
  // 0..9999 over two channels, two of them replaced by wild values that
  // must not count: sorted, the 0.1st percentile falls at index 9 (value 8,
  // behind -1e6) and the 99.9th at index 9989 (value 9990, 5017 missing).
  HostImagePtr image(CreateImage(100, 50, 2, 65535.0f));
  for (int c = 0; c < 2; ++c) {
    float* p = ImagePlane(image.get(), c);
    for (int i = 0; i < 5000; ++i) p[i] = static_cast<float>(c * 5000 + i);
  }
  ImagePlane(image.get(), 0)[17] = -1e6f;
  ImagePlane(image.get(), 1)[17] = 1e6f;
  EXPECT_EQ(MeasureDataScale(image.get(), 65535.0f), 9990.0f - 8.0f);
  // Scaling the data scales the spread: one picture, any units.
  for (int c = 0; c < 2; ++c) {
    float* p = ImagePlane(image.get(), c);
    for (int i = 0; i < 5000; ++i) p[i] *= 0.001f;
  }
  EXPECT_NEAR(MeasureDataScale(image.get(), 1.0f), 0.001f * (9990.0f - 8.0f), 1e-6);
}

TEST(DataScale, AConstantImageFallsBackToTheTypesScale) {
  HostImagePtr image(CreateImage(64, 64, 1, 255.0f));
  std::fill(ImagePlane(image.get(), 0), ImagePlane(image.get(), 0) + 64 * 64, 37.0f);
  EXPECT_EQ(MeasureDataScale(image.get(), 255.0f), 255.0f);
}

}  // namespace
}  // namespace calvane::app
