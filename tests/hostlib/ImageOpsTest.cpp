// The streaming image operations against direct computation, and their
// handling of geometry.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "host/HostErrors.h"
#include "host/Image.h"
#include "hostlib/HostImage.h"
#include "hostlib/TestImages.h"

namespace {

using calvane::test::ImagePtr;
using calvane::test::RandomImage;
using calvane::test::Samples;

// Sizes on both sides of the threshold where the thread team takes over.
class ImageOpsBySize : public ::testing::TestWithParam<std::tuple<int, int, int>> {};

TEST_P(ImageOpsBySize, StreamingOperationsMatchDirectComputation) {
  const auto [w, h, c] = GetParam();
  ImagePtr a = RandomImage(w, h, c, 1);
  ImagePtr b = RandomImage(w, h, c, 2);
  const std::vector<float> a0 = Samples(a.get());
  const std::vector<float> b0 = Samples(b.get());

  AddImage(a.get(), b.get(), 0.37f);
  std::vector<float> expected(a0.size());
  for (std::size_t i = 0; i < a0.size(); ++i) expected[i] = a0[i] + 0.37f * b0[i];
  std::vector<float> got = Samples(a.get());
  for (std::size_t i = 0; i < a0.size(); ++i) ASSERT_NEAR(got[i], expected[i], 1e-4f) << i;

  MultiplyConstant(a.get(), -1.5f);
  got = Samples(a.get());
  for (std::size_t i = 0; i < a0.size(); ++i) ASSERT_NEAR(got[i], expected[i] * -1.5f, 1e-3f) << i;

  double sum = 0.0;
  for (std::size_t i = 0; i < a0.size(); ++i) {
    const double d = static_cast<double>(got[i]) - b0[i];
    sum += d * d;
  }
  const double mean = sum / static_cast<double>(a0.size());
  EXPECT_NEAR(ImageDiffEnergy(a.get(), b.get()), mean, mean * 1e-6);
  EXPECT_FLOAT_EQ(ImageDiffEnergy(b.get(), b.get()), 0.0f);

  ImagePtr copy(DuplicateImage(a.get()));
  EXPECT_EQ(Samples(copy.get()), got);
  EXPECT_EQ(GetScale(copy.get()), 255.0f);
  CopyImageData(b.get(), copy.get());
  EXPECT_EQ(Samples(copy.get()), b0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ImageOpsBySize,
                         ::testing::Values(std::make_tuple(1, 1, 1), std::make_tuple(7, 3, 2),
                                           std::make_tuple(257, 131, 3), std::make_tuple(300, 200, 4)));

TEST(ImageOps, EnergyIsTheMeanSquareSoItsRootIsTheRmsDistance) {
  ImagePtr a(CreateImage(10, 10, 3, 255.0f));
  ImagePtr b(CreateImage(10, 10, 3, 255.0f));
  for (int c = 0; c < 3; ++c) {
    float* p = ImagePlane(a.get(), c);
    for (int i = 0; i < 100; ++i) p[i] = 7.0f;
  }
  EXPECT_FLOAT_EQ(std::sqrt(ImageDiffEnergy(a.get(), b.get())), 7.0f);
}

TEST(ImageOps, NewImageHasTheGeometryAndScaleOfItsModel) {
  ImagePtr model(CreateImage(33, 17, 2, 65535.0f));
  ImagePtr made(NewImage(model.get()));
  EXPECT_EQ(ImageWidth(made.get()), 33);
  EXPECT_EQ(ImageHeight(made.get()), 17);
  EXPECT_EQ(ImageChannels(made.get()), 2);
  EXPECT_EQ(GetScale(made.get()), 65535.0f);
}

TEST(ImageOps, CopyGivesTheDestinationTheSourceGeometry) {
  ImagePtr small = RandomImage(4, 3, 1, 3, 1.0f);
  ImagePtr large = RandomImage(50, 40, 3, 4);
  CopyImageData(large.get(), small.get());
  EXPECT_EQ(ImageWidth(small.get()), 50);
  EXPECT_EQ(ImageChannels(small.get()), 3);
  EXPECT_EQ(GetScale(small.get()), 255.0f);
  EXPECT_EQ(Samples(small.get()), Samples(large.get()));
  // And back down, reusing the larger allocation.
  ImagePtr tiny = RandomImage(2, 2, 1, 5, 1.0f);
  CopyImageData(tiny.get(), small.get());
  EXPECT_EQ(Samples(small.get()), Samples(tiny.get()));
  EXPECT_EQ(GetScale(small.get()), 1.0f);
}

TEST(ImageOps, BinaryOperationsOnDifferentGeometryThrowWithoutTouchingMemory) {
  ImagePtr a = RandomImage(10, 10, 1, 6);
  ImagePtr b = RandomImage(10, 11, 1, 7);
  ImagePtr c = RandomImage(10, 10, 3, 8);
  const std::vector<float> before = Samples(a.get());
  EXPECT_THROW(AddImage(a.get(), b.get(), 1.0f), AlertableError);
  EXPECT_THROW(AddImage(a.get(), c.get(), 1.0f), AlertableError);
  EXPECT_THROW(ImageDiffEnergy(a.get(), b.get()), AlertableError);
  EXPECT_EQ(Samples(a.get()), before);
}

TEST(ImageOps, NullImagesAreRefusedExceptByDelete) {
  DeleteImage(nullptr);
  ImagePtr a = RandomImage(2, 2, 1, 9);
  EXPECT_THROW(AddImage(nullptr, a.get(), 1.0f), AlertableError);
  EXPECT_THROW(AddImage(a.get(), nullptr, 1.0f), AlertableError);
  EXPECT_THROW(MultiplyConstant(nullptr, 1.0f), AlertableError);
  EXPECT_THROW(ImageDiffEnergy(a.get(), nullptr), AlertableError);
  EXPECT_THROW(DuplicateImage(nullptr), AlertableError);
  EXPECT_THROW(NewImage(nullptr), AlertableError);
  EXPECT_THROW(CopyImageData(nullptr, a.get()), AlertableError);
  EXPECT_THROW(GetScale(nullptr), AlertableError);
}

TEST(ImageOps, InvalidOrOversizedGeometryThrowsAHostError) {
  EXPECT_THROW(CreateImage(0, 10, 1, 1.0f), AlertableError);
  EXPECT_THROW(CreateImage(10, -1, 1, 1.0f), AlertableError);
  EXPECT_THROW(CreateImage(10, 10, 0, 1.0f), AlertableError);
  EXPECT_THROW(CreateImage(10, 10, kMaxImageChannels + 1, 1.0f), AlertableError);
  // Overflows 64-bit byte counts.
  EXPECT_THROW(CreateImage(std::int64_t{1} << 40, std::int64_t{1} << 40, 4, 1.0f), AlertableError);
  // Fits the arithmetic, but no machine has the memory (16 TiB).
  EXPECT_THROW(CreateImage(std::int64_t{1} << 21, std::int64_t{1} << 20, 2, 1.0f), AlertableError);
}

}  // namespace
