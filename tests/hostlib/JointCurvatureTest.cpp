// The curvature with coupled channels: against a plain double-precision
// computation of its definition, against the per-channel curvature where
// the two must agree, on hand-made cases where they must not, at every
// vector level and split over the thread team.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "host/Curvature.h"
#include "host/HostErrors.h"
#include "host/Image.h"
#include "hostlib/HostImage.h"
#include "hostlib/Kernels.h"
#include "hostlib/Parallel.h"
#include "hostlib/TestImages.h"
#include "hostlib/ThreadTeam.h"

namespace {

using calvane::hostlib::ActiveKernels;
using calvane::hostlib::KernelsFor;
using calvane::hostlib::SupportedVectorLevel;
using calvane::hostlib::ThreadTeam;
using calvane::hostlib::UseKernels;
using calvane::hostlib::VectorLevel;
using calvane::test::ImagePtr;
using calvane::test::Samples;

constexpr float kEpsilon = 255e-6f;

ImagePtr RandomImage(std::int64_t w, std::int64_t h, int c, unsigned seed) {
  return calvane::test::RandomImage(w, h, c, seed, 255.0f, 0.0f, 255.0f);
}

ImagePtr JointCurvatureOf(Image* in, float epsilon = kEpsilon) {
  SetImageChannelCoupling(in, ChannelCoupling::Joint);
  ImagePtr out(CreateImage(1, 1, 1, 1.0f));
  TwoD_Curv_Divergence(in, out.get(), epsilon);
  return out;
}

// The joint curvature as Curvature.cpp defines it, in double with an exact
// square root: `k` per sample, planes one after the other, and `terms`, the
// sum of the magnitudes of the four terms of each sample's divergence.
struct Reference {
  std::vector<double> k, terms;
};

Reference JointReference(const std::vector<const float*>& planes, int w, int h, double eps) {
  const int channels = static_cast<int>(planes.size());
  const std::size_t n = static_cast<std::size_t>(w) * h;
  std::vector<double> ux(n * channels), uy(ux.size()), px(ux.size()), py(ux.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int x = static_cast<int>(i % w), y = static_cast<int>(i / w);
    double sum = 0.0;
    for (int c = 0; c < channels; ++c) {
      const float* u = planes[c];
      const std::size_t at = c * n + i;
      ux[at] = x + 1 < w ? static_cast<double>(u[i + 1]) - u[i] : 0.0;
      uy[at] = y + 1 < h ? static_cast<double>(u[i + w]) - u[i] : 0.0;
      sum += ux[at] * ux[at] + uy[at] * uy[at];
    }
    const double norm = std::sqrt(eps * eps + sum / channels);
    for (int c = 0; c < channels; ++c) {
      px[c * n + i] = ux[c * n + i] / norm;
      py[c * n + i] = uy[c * n + i] / norm;
    }
  }
  Reference r{std::vector<double>(ux.size()), std::vector<double>(ux.size())};
  for (std::size_t at = 0; at < ux.size(); ++at) {
    const std::size_t i = at % n;
    const double left = i % w > 0 ? px[at - 1] : 0.0;
    const double above = i / w > 0 ? py[at - w] : 0.0;
    r.k[at] = px[at] - left + py[at] - above;
    r.terms[at] = std::fabs(px[at]) + std::fabs(left) + std::fabs(py[at]) + std::fabs(above);
  }
  return r;
}

std::vector<const float*> Planes(const Image* image) {
  std::vector<const float*> planes;
  for (int c = 0; c < ImageChannels(image); ++c) planes.push_back(ImagePlane(image, c));
  return planes;
}

// Each term of a sample (a difference rounded to float, a normaliser from a
// sum of 2C rounded squares, a refined reciprocal square root estimate and a
// product) is within 1e-6 of its exact value relative to itself, and the
// three additions add 2^-24 each relative to the terms' sum.
double Tolerance(double terms) { return (1e-6 + 3 * 0x1p-24) * terms; }

// Runs the body with the kernels of every level this processor has, and
// restores the widest afterwards.
class JointCurvatureLevels : public ::testing::Test {
 protected:
  template <class Body>
  void ForEachLevel(Body body) {
    for (VectorLevel level : {VectorLevel::Baseline, VectorLevel::Avx2, VectorLevel::Avx512}) {
      if (!UseKernels(level)) continue;
      SCOPED_TRACE(KernelsFor(level)->name);
      body();
    }
  }
  void TearDown() override { UseKernels(SupportedVectorLevel()); }
};

// Widths that are no multiple of any vector width (some shorter than one
// vector), heights of one and two rows and more.
const int kWidths[] = {1, 2, 17, 33, 100, 300};
const int kHeights[] = {1, 2, 23};

TEST_F(JointCurvatureLevels, MatchesTheDoublePrecisionDefinition) {
  ForEachLevel([&] {
    for (int c : {2, 3, 4}) {
      for (int w : kWidths) {
        for (int h : kHeights) {
          ImagePtr in = RandomImage(w, h, c, static_cast<unsigned>(w * 100 + h * 10 + c));
          ImagePtr out = JointCurvatureOf(in.get());
          const Reference expected = JointReference(Planes(in.get()), w, h, kEpsilon);
          const std::vector<float> got = Samples(out.get());
          for (std::size_t i = 0; i < got.size(); ++i) {
            ASSERT_NEAR(got[i], expected.k[i], Tolerance(expected.terms[i]))
                << w << "x" << h << "x" << c << " sample " << i;
          }
        }
      }
    }
  });
}

TEST_F(JointCurvatureLevels, KernelTakesAnyChannelCount) {
  // The host stops at four channels; the kernel itself does not.
  ForEachLevel([&] {
    for (int c : {5, 7}) {
      const int w = 37, h = 9;
      ImagePtr in = RandomImage(w, h * c, 1, static_cast<unsigned>(c));
      std::vector<const float*> planes;
      for (int ch = 0; ch < c; ++ch) planes.push_back(ImagePlane(in.get(), 0) + ch * w * h);
      std::vector<float> out(static_cast<std::size_t>(w) * h * c);
      std::vector<float*> outs;
      for (int ch = 0; ch < c; ++ch) outs.push_back(out.data() + ch * w * h);
      std::vector<float> scratch(calvane::hostlib::JointCurvatureScratchFloats(w, c));
      ActiveKernels().curvatureBandJoint(planes.data(), outs.data(), c, w, h, 0, h, kEpsilon * kEpsilon,
                                         scratch.data());
      const Reference expected = JointReference(planes, w, h, kEpsilon);
      for (std::size_t i = 0; i < out.size(); ++i) {
        ASSERT_NEAR(out[i], expected.k[i], Tolerance(expected.terms[i])) << c << " channels, sample " << i;
      }
    }
  });
}

TEST_F(JointCurvatureLevels, OneChannelIsThePerChannelKernelToTheBit) {
  // In one band, and in two (the second starts by recomputing the row above).
  ForEachLevel([&] {
    const calvane::hostlib::KernelSet& kernels = ActiveKernels();
    for (int w : kWidths) {
      for (int h : {1, 2, 23}) {
        ImagePtr in = RandomImage(w, h, 1, static_cast<unsigned>(w + h));
        const float* plane = ImagePlane(in.get(), 0);
        std::vector<float> perChannel(static_cast<std::size_t>(w) * h), joint(perChannel.size());
        std::vector<float> scratch(calvane::hostlib::JointCurvatureScratchFloats(w, 1));
        const float eps2 = kEpsilon * kEpsilon;
        kernels.curvatureBand(plane, perChannel.data(), w, h, 0, h, eps2, scratch.data());
        float* out = joint.data();
        kernels.curvatureBandJoint(&plane, &out, 1, w, h, 0, h / 2, eps2, scratch.data());
        kernels.curvatureBandJoint(&plane, &out, 1, w, h, h / 2, h, eps2, scratch.data());
        ASSERT_EQ(std::memcmp(joint.data(), perChannel.data(), joint.size() * sizeof(float)), 0) << w << "x" << h;
      }
    }
  });
}

TEST_F(JointCurvatureLevels, IdenticalChannelsGiveThePerChannelCurvature) {
  ForEachLevel([&] {
    for (int c : {2, 3, 4}) {
      const int w = 45, h = 31;
      ImagePtr grey = RandomImage(w, h, 1, 5);
      ImagePtr colour(CreateImage(w, h, c, 255.0f));
      for (int ch = 0; ch < c; ++ch) std::copy_n(ImagePlane(grey.get(), 0), w * h, ImagePlane(colour.get(), ch));
      ImagePtr single(NewImage(grey.get()));
      TwoD_Curv_Divergence(grey.get(), single.get(), kEpsilon);
      ImagePtr joint = JointCurvatureOf(colour.get());
      const Reference terms = JointReference(Planes(grey.get()), w, h, kEpsilon);
      for (int ch = 0; ch < c; ++ch) {
        const float* k = ImagePlane(joint.get(), ch);
        const float* expected = ImagePlane(single.get(), 0);
        for (int i = 0; i < w * h; ++i) {
          ASSERT_NEAR(k[i], expected[i], 1e-6 * terms.terms[i]) << c << " channels, channel " << ch << " sample " << i;
        }
      }
    }
  });
}

TEST_F(JointCurvatureLevels, PermutingTheChannelsPermutesTheResultExactly) {
  ForEachLevel([&] {
    for (int c : {3, 4}) {
      const int w = 41, h = 13;
      ImagePtr in = RandomImage(w, h, c, 9);
      ImagePtr k = JointCurvatureOf(in.get());
      std::vector<int> order(static_cast<std::size_t>(c));
      std::iota(order.begin(), order.end(), 0);
      while (std::next_permutation(order.begin(), order.end())) {
        ImagePtr permuted(CreateImage(w, h, c, 255.0f));
        for (int ch = 0; ch < c; ++ch) std::copy_n(ImagePlane(in.get(), order[ch]), w * h, ImagePlane(permuted.get(), ch));
        ImagePtr kp = JointCurvatureOf(permuted.get());
        for (int ch = 0; ch < c; ++ch) {
          ASSERT_EQ(std::memcmp(ImagePlane(kp.get(), ch), ImagePlane(k.get(), order[ch]), w * h * sizeof(float)), 0)
              << c << " channels, channel " << ch << " from " << order[ch];
        }
      }
    }
  });
}

TEST(JointCurvature, AFaintStepUnderAStrongEdgeFollowsTheEdge) {
  // Red steps by 100 where green steps by 1 (rows alike, so no vertical
  // differences). Per channel each step is normalised by its own size and
  // green is pushed as hard as red: +-1 on both sides of its step. Jointly
  // both are divided by sqrt((100^2 + 1^2) / 2): red gets +-100/70.714...,
  // green only +-1/70.714....
  ImagePtr in(CreateImage(3, 2, 2, 255.0f));
  const float red[] = {0, 100, 100, 0, 100, 100}, green[] = {0, 1, 1, 0, 1, 1};
  std::copy_n(red, 6, ImagePlane(in.get(), 0));
  std::copy_n(green, 6, ImagePlane(in.get(), 1));
  ImagePtr perChannel(NewImage(in.get()));
  TwoD_Curv_Divergence(in.get(), perChannel.get(), 0.0f);
  ImagePtr joint = JointCurvatureOf(in.get(), 0.0f);
  for (int row = 0; row < 2; ++row) {
    const int at = 3 * row;
    for (int c = 0; c < 2; ++c) {
      const float* k = ImagePlane(perChannel.get(), c) + at;
      EXPECT_FLOAT_EQ(k[0], 1.0f);
      EXPECT_FLOAT_EQ(k[1], -1.0f);
      EXPECT_EQ(k[2], 0.0f);
    }
    const float* r = ImagePlane(joint.get(), 0) + at;
    const float* g = ImagePlane(joint.get(), 1) + at;
    EXPECT_NEAR(r[0], 1.4141428569978354, 2e-6);
    EXPECT_NEAR(r[1], -1.4141428569978354, 2e-6);
    EXPECT_EQ(r[2], 0.0f);
    EXPECT_NEAR(g[0], 0.014141428569978354, 2e-8);
    EXPECT_NEAR(g[1], -0.014141428569978354, 2e-8);
    EXPECT_EQ(g[2], 0.0f);
  }
}

TEST(JointCurvature, BoundedByFourRootCAndEveryPlaneSumsToZero) {
  for (int c : {2, 3, 4}) {
    const double bound = 4 * std::sqrt(c);
    // A checkerboard of 0 and 200 in one channel, the others flat: where the
    // channel is 0, ux = uy = 200 while its left and upper neighbours have
    // -200, so with epsilon 0 the sample is 4 sqrt(C / 2) = 2 sqrt(2 C),
    // above the per-channel bound of 4 for three and four channels.
    const int w = 20, h = 16;
    ImagePtr board(CreateImage(w, h, c, 255.0f));
    for (int i = 0; i < w * h; ++i) ImagePlane(board.get(), 0)[i] = (i % w + i / w) % 2 ? 200.0f : 0.0f;
    for (int ch = 1; ch < c; ++ch) std::fill_n(ImagePlane(board.get(), ch), w * h, 50.0f + ch);
    ImagePtr k = JointCurvatureOf(board.get(), 0.0f);
    EXPECT_NEAR(ImagePlane(k.get(), 0)[5 * w + 7], 2 * std::sqrt(2.0 * c), 1e-5 * bound) << c;
    for (int ch = 1; ch < c; ++ch) {
      for (int i = 0; i < w * h; ++i) ASSERT_EQ(ImagePlane(k.get(), ch)[i], 0.0f) << ch;
    }

    ImagePtr noise = RandomImage(333, 251, c, static_cast<unsigned>(c));
    for (Image* in : {board.get(), noise.get()}) {
      ImagePtr out = JointCurvatureOf(in, 0.0f);
      const std::size_t n = static_cast<std::size_t>(ImageWidth(in) * ImageHeight(in));
      for (int ch = 0; ch < c; ++ch) {
        const float* p = ImagePlane(out.get(), ch);
        double sum = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
          ASSERT_LE(std::fabs(p[i]), bound * (1 + 1e-6)) << c << " channels, sample " << i;
          sum += p[i];
        }
        // The exact divergence of the rounded field telescopes to zero; only
        // each sample's three additions are left, 2^-24 of at most the bound.
        EXPECT_NEAR(sum, 0.0, n * 3 * 0x1p-24 * bound) << c << " channels, channel " << ch;
      }
    }
  }
}

TEST(JointCurvature, BandsOverTheThreadTeamGiveTheOnePassResult) {
  ASSERT_GE(ThreadTeam::Get().Size(), 4);
  const int w = 300, h = 500, c = 3;
  ASSERT_GE(calvane::hostlib::PassLayout(h, 1, w * c, 64).Chunks(), 4u);
  ImagePtr in = RandomImage(w, h, c, 77);
  ImagePtr out = JointCurvatureOf(in.get());
  std::vector<const float*> planes = Planes(in.get());
  std::vector<float> whole(static_cast<std::size_t>(w) * h * c);
  std::vector<float*> outs = {whole.data(), whole.data() + w * h, whole.data() + 2 * w * h};
  std::vector<float> scratch(calvane::hostlib::JointCurvatureScratchFloats(w, c));
  ActiveKernels().curvatureBandJoint(planes.data(), outs.data(), c, w, h, 0, h, kEpsilon * kEpsilon, scratch.data());
  const std::vector<float> split = Samples(out.get());
  for (std::size_t i = 0; i < whole.size(); ++i) ASSERT_EQ(split[i], whole[i]) << "sample " << i;
}

TEST(ChannelCoupling, IsCarriedByEveryImageMadeOrFilledFromAnother) {
  ImagePtr in = RandomImage(8, 6, 3, 1);
  EXPECT_EQ(ImageChannelCoupling(in.get()), ChannelCoupling::Independent);
  SetImageChannelCoupling(in.get(), ChannelCoupling::Joint);
  EXPECT_EQ(ImageChannelCoupling(in.get()), ChannelCoupling::Joint);
  EXPECT_EQ(ImageChannelCoupling(ImagePtr(NewImage(in.get())).get()), ChannelCoupling::Joint);
  EXPECT_EQ(ImageChannelCoupling(ImagePtr(DuplicateImage(in.get())).get()), ChannelCoupling::Joint);

  ImagePtr target(CreateImage(2, 2, 1, 1.0f));
  CopyImageData(in.get(), target.get());
  EXPECT_EQ(ImageChannelCoupling(target.get()), ChannelCoupling::Joint);
  ImagePtr curvature(CreateImage(2, 2, 1, 1.0f));
  TwoD_Curv_Divergence(in.get(), curvature.get(), kEpsilon);
  EXPECT_EQ(ImageChannelCoupling(curvature.get()), ChannelCoupling::Joint);

  // And back: the destination takes Independent too.
  ImagePtr plain = RandomImage(8, 6, 3, 2);
  CopyImageData(plain.get(), target.get());
  EXPECT_EQ(ImageChannelCoupling(target.get()), ChannelCoupling::Independent);
  TwoD_Curv_Divergence(plain.get(), curvature.get(), kEpsilon);
  EXPECT_EQ(ImageChannelCoupling(curvature.get()), ChannelCoupling::Independent);
}

TEST(ChannelCoupling, NullImagesAndUnknownValuesAreRefused) {
  EXPECT_EQ(ImageChannelCoupling(nullptr), ChannelCoupling::Independent);
  EXPECT_THROW(SetImageChannelCoupling(nullptr, ChannelCoupling::Joint), AlertableError);
  ImagePtr in = RandomImage(2, 2, 2, 1);
  try {
    SetImageChannelCoupling(in.get(), static_cast<ChannelCoupling>(7));
    ADD_FAILURE() << "an unknown coupling was accepted";
  } catch (const AlertableError& error) {
    EXPECT_EQ(std::string(error.what()), "SetImageChannelCoupling: unknown coupling 7");
  }
  EXPECT_EQ(ImageChannelCoupling(in.get()), ChannelCoupling::Independent);
}

}  // namespace
