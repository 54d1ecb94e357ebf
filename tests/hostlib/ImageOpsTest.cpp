// The streaming image operations against direct computation, and their
// handling of geometry.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>
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

// The message CreateImage throws for `w` x `h` x `c`, or "made" when it
// returns an image (which is deleted at once, untouched).
std::string CreateImageRefusal(std::int64_t w, std::int64_t h, int c) {
  try {
    DeleteImage(CreateImage(w, h, c, 1.0f));
  } catch (const AlertableError& error) {
    return error.what();
  }
  return "made";
}

TEST(ImageOps, GeometryPastTheSampleLimitIsRefusedAsTooLargeNeverAllocatedShort) {
  // The byte count of width x height x channels floats must fit a signed
  // 64-bit integer: at most (2^63 - 1) / 4 = 2^61 - 1 samples. Past that the
  // products wrap, and a wrapped count would allocate a few bytes for an
  // image that claims to be huge; it must be refused by its geometry first.
  constexpr std::int64_t kOne = 1;
  struct Case {
    std::int64_t w, h;
    int c;
  };
  for (const Case& g : {Case{kOne << 32, kOne << 32, 1},       // width x height wraps to 0
                        Case{kOne << 33, kOne << 29, 4},       // x 4 channels wraps to 0
                        Case{kOne << 26, kOne << 26, 1024},    // x 1024 channels wraps to 0
                        Case{kOne << 31, 805306368, 3},        // the samples fit, their bytes wrap to 2^61
                        Case{kOne << 61, 1, 1},                // one sample past the limit
                        Case{1, kOne << 61, 1},
                        Case{(kOne << 60) + 1, 1, 2}}) {
    const std::string geometry = std::to_string(g.w) + "x" + std::to_string(g.h) + "x" + std::to_string(g.c);
    EXPECT_EQ(CreateImageRefusal(g.w, g.h, g.c), "image geometry " + geometry + " is too large");
  }
  // At the limit the geometry is accepted, and the memory is what is
  // missing: 2^63 bytes, 2^43 MiB.
  EXPECT_EQ(CreateImageRefusal((kOne << 61) - 1, 1, 1),
            "not enough memory for a 2305843009213693951x1x1 image (8796093022208 MiB)");
}

}  // namespace
