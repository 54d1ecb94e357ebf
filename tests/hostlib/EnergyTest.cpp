// The energy's sums, on images made so that any sum of squares kept in
// single precision would lose a measurable part of the energy: every sum,
// within a chunk and across chunks, eager and fused, must be kept in double.
//
// Every difference here has a few significant bits only, so its square is
// exact in float and every sum of squares is exact in double. The
// library adds squares in pairs in float (one rounding, at most 2^-24 of a
// positive term), sums in double and rounds the mean to float, so it must
// come within 3 x 2^-24 of the exact mean, relative. A float sum of S is
// blind to a term below half a unit in its last place, 2^-24 S: the images
// put one large term first in a sum and many terms below that after it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "host/Curvature.h"
#include "host/Image.h"
#include "hostlib/HostImage.h"
#include "hostlib/Kernels.h"
#include "hostlib/Parallel.h"
#include "hostlib/TestImages.h"
#include "hostlib/ThreadTeam.h"

namespace {

using calvane::hostlib::KernelsFor;
using calvane::hostlib::SampleLayout;
using calvane::hostlib::SupportedVectorLevel;
using calvane::hostlib::ThreadTeam;
using calvane::hostlib::UseKernels;
using calvane::hostlib::VectorLevel;
using calvane::test::ImagePtr;
using calvane::test::Samples;

constexpr std::int64_t kWidth = 1024;
constexpr std::int64_t kHeight = 1024;
constexpr int kChannels = 3;
constexpr std::size_t kPlane = static_cast<std::size_t>(kWidth * kHeight);
constexpr double kRelativeTolerance = 3 * 0x1p-24;

// The mean of (a - b)^2 over every sample, exactly (see above).
double ExactMean(const Image* a, const Image* b) {
  const std::vector<float> x = Samples(a);
  const std::vector<float> y = Samples(b);
  double sum = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double d = static_cast<double>(x[i]) - static_cast<double>(y[i]);
    sum += d * d;
  }
  return sum / static_cast<double>(x.size());
}

// The energy of `zero` (all samples zero) against `b`, eagerly and through
// the fused pass (the curvature of a flat image is zero, so the step leaves
// `zero` as it was), with the kernels of every level.
void ExpectExactEnergy(Image* zero, Image* b) {
  const double exact = ExactMean(zero, b);
  const double tolerance = kRelativeTolerance * exact;
  for (VectorLevel level : {VectorLevel::Baseline, VectorLevel::Avx2, VectorLevel::Avx512}) {
    if (!UseKernels(level)) continue;
    SCOPED_TRACE(KernelsFor(level)->name);
    EXPECT_NEAR(ImageDiffEnergy(zero, b), exact, tolerance) << "eager";
    ImagePtr curvature(CreateImage(1, 1, 1, 1.0f));
    TwoD_Curv_Divergence(zero, curvature.get(), 255e-6f);
    AddImage(zero, curvature.get(), 0.25f);
    EXPECT_NEAR(ImageDiffEnergy(zero, b), exact, tolerance) << "fused with the curvature step";
    const std::vector<float> after = Samples(zero);
    for (std::size_t i = 0; i < after.size(); ++i) ASSERT_EQ(after[i], 0.0f) << "sample " << i;
  }
  UseKernels(SupportedVectorLevel());
}

// The images have many chunks: several per thread and plane.
void ExpectManyChunks() {
  ASSERT_EQ(ThreadTeam::Get().Size(), 4);
  ASSERT_GE(SampleLayout(kPlane, kChannels).Pieces(), 2u);
}

TEST(Energy, EachChunksPartialSumsAreKeptInDouble) {
  ExpectManyChunks();
  // Each chunk's sum is spread over partial sums fed in turn from its
  // first samples: 64 differences of 2^13 at the start of every chunk give
  // each partial sum 2^27 at once, and every later pair of differences of
  // 1.5 (4.5) is below half its unit in the last place (8). The chunk's
  // small terms are about 2^-15 of its energy: over a hundred times the
  // tolerance.
  ImagePtr zero(CreateImage(kWidth, kHeight, kChannels, 255.0f));
  ImagePtr b(CreateImage(kWidth, kHeight, kChannels, 255.0f));
  std::vector<float*> planes;
  for (int c = 0; c < kChannels; ++c) {
    float* p = ImagePlane(b.get(), c);
    std::fill(p, p + kPlane, 1.5f);
    planes.push_back(p);
  }
  const auto layout = SampleLayout(kPlane, kChannels);
  for (std::size_t chunk = 0; chunk < layout.Chunks(); ++chunk) {
    float* p = planes[static_cast<std::size_t>(layout.Plane(chunk))];
    const std::size_t begin = layout.Units(chunk).begin;
    ASSERT_GE(layout.Units(chunk).end - begin, 64u);
    std::fill(p + begin, p + begin + 64, 8192.0f);
  }
  ExpectExactEnergy(zero.get(), b.get());
}

TEST(Energy, TheChunksSumsAreAddedInDouble) {
  ExpectManyChunks();
  // The first chunk holds one difference of 2^20 (a square of 2^40); every
  // other chunk's sum, 65536 squares of 31/32 (61504), is below half the
  // unit in the last place of 2^40 (65536). The other 47 chunks are 2^-18.5
  // of the energy: fourteen times the tolerance.
  ImagePtr zero(CreateImage(kWidth, kHeight, kChannels, 255.0f));
  ImagePtr b(CreateImage(kWidth, kHeight, kChannels, 255.0f));
  for (int c = 0; c < kChannels; ++c) {
    float* p = ImagePlane(b.get(), c);
    std::fill(p, p + kPlane, 0.96875f);
  }
  ImagePlane(b.get(), 0)[0] = 1048576.0f;
  ExpectExactEnergy(zero.get(), b.get());
}

}  // namespace
