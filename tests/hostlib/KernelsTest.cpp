// Every vector level's kernels against plain double-precision computation,
// through the public operations, on shapes that hit the vector tails, the
// chunk borders between threads and the mapped allocations of large images.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "host/Curvature.h"
#include "host/Image.h"
#include "hostlib/HostImage.h"
#include "hostlib/Kernels.h"
#include "hostlib/ReferenceCurvature.h"
#include "hostlib/TestImages.h"

namespace {

using calvane::hostlib::KernelsFor;
using calvane::hostlib::SupportedVectorLevel;
using calvane::hostlib::UseKernels;
using calvane::hostlib::VectorLevel;

using calvane::test::ImagePtr;
using calvane::test::ReferenceCurvature;
using calvane::test::Samples;

ImagePtr RandomImage(std::int64_t w, std::int64_t h, int c, unsigned seed) {
  return calvane::test::RandomImage(w, h, c, seed, 255.0f, 0.0f, 255.0f);
}

// Runs the body once with the kernels of every level this processor has,
// and restores the widest afterwards.
class EveryLevel : public ::testing::Test {
 protected:
  template <class Body>
  void ForEachLevel(Body body) {
    for (VectorLevel level : {VectorLevel::Baseline, VectorLevel::Avx2, VectorLevel::Avx512}) {
      if (!UseKernels(level)) continue;
      SCOPED_TRACE(KernelsFor(level)->name);
      body(level);
    }
  }
  void TearDown() override { UseKernels(SupportedVectorLevel()); }
};

TEST_F(EveryLevel, TheWidestSupportedLevelIsActiveAndNarrowerOnesExist) {
  EXPECT_NE(KernelsFor(VectorLevel::Baseline), nullptr);
  EXPECT_EQ(&calvane::hostlib::ActiveKernels(), KernelsFor(SupportedVectorLevel()));
  if (SupportedVectorLevel() != VectorLevel::Avx512) {
    EXPECT_EQ(KernelsFor(VectorLevel::Avx512), nullptr);
    EXPECT_FALSE(UseKernels(VectorLevel::Avx512));
  }
}

TEST_F(EveryLevel, CurvatureMatchesTheDoublePrecisionDefinition) {
  // Widths around every vector width (the padded last vector, a row shorter
  // than one vector), and heights that give several chunks per thread.
  for (auto [w, h, c] : {std::make_tuple(1, 7, 1), std::make_tuple(2, 3, 1), std::make_tuple(5, 9, 2),
                         std::make_tuple(15, 40, 1), std::make_tuple(16, 33, 1), std::make_tuple(17, 20, 3),
                         std::make_tuple(33, 17, 1), std::make_tuple(200, 700, 2)}) {
    ImagePtr in = RandomImage(w, h, c, static_cast<unsigned>(w * 1000 + h));
    const double eps = 255e-6;
    ForEachLevel([&](VectorLevel) {
      ImagePtr out(CreateImage(1, 1, 1, 1.0f));
      TwoD_Curv_Divergence(in.get(), out.get(), static_cast<float>(eps));
      for (int ch = 0; ch < c; ++ch) {
        const std::vector<double> expected = ReferenceCurvature(ImagePlane(in.get(), ch), w, h, eps);
        const float* got = ImagePlane(out.get(), ch);
        for (std::size_t i = 0; i < expected.size(); ++i) {
          // A few units in the last place of each of the four unit-sized
          // terms.
          ASSERT_NEAR(got[i], expected[i], 4e-6) << w << "x" << h << " channel " << ch << " sample " << i;
        }
      }
    });
  }
}

TEST_F(EveryLevel, FlatRegionsHaveNoCurvatureEvenWithoutEpsilon) {
  // epsilon 0 leaves 0 / 0 where the image is flat; the flow must not
  // carry that into the image.
  ImagePtr in(CreateImage(70, 50, 1, 255.0f));
  float* p = ImagePlane(in.get(), 0);
  for (int i = 0; i < 70 * 50; ++i) p[i] = (i % 70) < 35 ? 10.0f : 200.0f;
  ForEachLevel([&](VectorLevel) {
    ImagePtr out(NewImage(in.get()));
    TwoD_Curv_Divergence(in.get(), out.get(), 0.0f);
    const float* k = ImagePlane(out.get(), 0);
    for (int i = 0; i < 70 * 50; ++i) {
      ASSERT_TRUE(std::isfinite(k[i])) << i;
      ASSERT_LE(std::fabs(k[i]), 4.0f + 1e-5f);
      if (i % 70 < 33 || i % 70 > 36) {
        ASSERT_EQ(k[i], 0.0f) << i;
      }
    }
  });
}

TEST_F(EveryLevel, StreamingOperationsGiveTheSameSamplesAndEnergyAtEveryLevel) {
  // 1000 x 700 x 3 is large enough for a mapping of its own and for many
  // chunks; 37 x 3 is a vector tail on its own.
  for (auto [w, h, c] : {std::make_tuple(37, 3, 1), std::make_tuple(1000, 700, 3)}) {
    ImagePtr a0 = RandomImage(w, h, c, 11);
    ImagePtr b = RandomImage(w, h, c, 12);
    const std::vector<float> x = Samples(a0.get());
    const std::vector<float> y = Samples(b.get());
    std::vector<float> expected(x.size());
    double sum = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
      // The same two roundings the kernels promise: after the product and
      // after the sum.
      volatile float product = 0.25f * y[i];
      volatile float added = x[i] + product;
      expected[i] = added * -1.75f;
      const double d = static_cast<double>(expected[i]) - y[i];
      sum += d * d;
    }
    const double mean = sum / static_cast<double>(x.size());
    std::vector<float> firstEnergies;
    ForEachLevel([&](VectorLevel) {
      ImagePtr a(DuplicateImage(a0.get()));
      AddImage(a.get(), b.get(), 0.25f);
      MultiplyConstant(a.get(), -1.75f);
      ASSERT_EQ(std::memcmp(Samples(a.get()).data(), expected.data(), expected.size() * sizeof(float)), 0);
      const float energy = ImageDiffEnergy(a.get(), b.get());
      EXPECT_NEAR(energy, mean, mean * 1e-6);
      EXPECT_EQ(ImageDiffEnergy(a.get(), b.get()), energy) << "not repeatable";
      firstEnergies.push_back(energy);
    });
    for (float energy : firstEnergies) EXPECT_EQ(energy, firstEnergies.front()) << "differs between levels";
  }
}

TEST(ImageMemory, LargeImagesStartZeroAndSurviveReshapingBothWays) {
  // Mapped allocations (several MiB) and heap ones, copied into each other.
  ImagePtr large(CreateImage(1500, 1000, 3, 255.0f));
  for (float v : Samples(large.get())) ASSERT_EQ(v, 0.0f);
  ImagePtr small = RandomImage(20, 10, 1, 3);
  CopyImageData(small.get(), large.get());
  EXPECT_EQ(Samples(large.get()), Samples(small.get()));
  ImagePtr other = RandomImage(1600, 900, 3, 4);
  CopyImageData(other.get(), small.get());
  EXPECT_EQ(Samples(small.get()), Samples(other.get()));
  AddImage(small.get(), other.get(), 1.0f);
  EXPECT_EQ(ImagePlane(small.get(), 2)[1600 * 900 - 1], 2.0f * ImagePlane(other.get(), 2)[1600 * 900 - 1]);
}

TEST(ImageOps, AddingAnImageToItselfDoublesIt) {
  ImagePtr a = RandomImage(300, 200, 2, 5);
  const std::vector<float> before = Samples(a.get());
  AddImage(a.get(), a.get(), 1.0f);
  const std::vector<float> after = Samples(a.get());
  for (std::size_t i = 0; i < before.size(); ++i) ASSERT_EQ(after[i], before[i] + before[i]) << i;
}

}  // namespace
