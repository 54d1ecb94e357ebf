#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <stdexcept>
#include <vector>

#include "app/ImageFile.h"
#include "app/NoiseEstimate.h"
#include "app/PhotonNoise.h"
#include "hostlib/HostImage.h"

namespace calvane::app {
namespace {

constexpr int kSide = 512;

// A smooth picture in [0, 1]: a slow curved gradient, mostly dark as
// photon-limited pictures are, and three soft-edged discs.
std::vector<double> Phantom(int width, int height, bool hardEdges = false) {
  std::vector<double> t(static_cast<std::size_t>(width) * height);
  struct Disc {
    double x, y, noiseLevel, height;
  };
  const Disc discs[] = {{0.3, 0.3, 0.14, 0.45}, {0.7, 0.35, 0.1, 0.3}, {0.55, 0.75, 0.16, 0.35}};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double u = static_cast<double>(x) / width, v = static_cast<double>(y) / height;
      double value = 0.55 * (0.7 * u * u * u + 0.3 * v * v);
      for (const Disc& disc : discs) {
        const double r = std::hypot(u - disc.x, v - disc.y) * width;
        const double edge = hardEdges ? (r < disc.noiseLevel * width ? 1.0 : 0.0)
                                      : 1.0 / (1.0 + std::exp((r - disc.noiseLevel * width) / 4.0));
        value += disc.height * edge;
      }
      t[static_cast<std::size_t>(y) * width + x] = std::min(value, 1.0);
    }
  }
  return t;
}

struct Noise {
  double low = 0, high = 1;  // the mean signal spans [low, high], in photons
  double gain = 1;           // file units per photon
  double readStd = 0;        // in file units
  double pedestal = 0;       // added in file units
  bool round = true;
  double clipMax = std::numeric_limits<double>::infinity();
  bool hardEdges = false;
};

// Photon counts of mean low + (high - low) * phantom, times gain, plus
// pedestal and Gaussian read noise; rounded and clipped to [0, clipMax] as
// an integer file holds them.
std::vector<float> PhotonPlane(const Noise& noise, unsigned seed, int side = kSide) {
  const std::vector<double> t = Phantom(side, side, noise.hardEdges);
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> read(0.0, 1.0);
  std::vector<float> plane(t.size());
  for (std::size_t i = 0; i < t.size(); ++i) {
    std::poisson_distribution<long> photons(noise.low + (noise.high - noise.low) * t[i]);
    double value = noise.gain * static_cast<double>(photons(rng)) + noise.pedestal + noise.readStd * read(rng);
    if (noise.round) value = std::clamp(std::round(value), 0.0, noise.clipMax);
    plane[i] = static_cast<float>(value);
  }
  return plane;
}

NoiseLevelFit Fit(const std::vector<float>& plane, int side = kSide) {
  return FitNoiseLevelFunction(plane.data(), side, side);
}

// 16-bit data of gain 2 and read noise 5, peak about 3000: variance
// 2 x + 25 (+ 1/12 for the rounding, below the tolerance).
Noise SixteenBit() {
  Noise noise;
  noise.gain = 2.0;
  noise.low = 10.0;
  noise.high = 1500.0;
  noise.readStd = 5.0;
  noise.clipMax = 65535.0;
  return noise;
}

void ExpectSixteenBitTruth(const NoiseLevelFit& fit) {
  ASSERT_TRUE(fit.valid);
  EXPECT_NEAR(fit.nlf.gain, 2.0, 0.2);
  EXPECT_NEAR(std::sqrt(std::max(fit.nlf.offset, 0.0)), 5.0, 0.5) << "offset " << fit.nlf.offset;
}

// Photons: `background` plus `count` Gaussian bumps of `amplitude` and
// standard deviation `width` samples at random places.
std::vector<double> Bumps(double background, int count, double amplitude, double width, std::mt19937_64& rng) {
  std::uniform_real_distribution<double> where(0.0, kSide);
  std::vector<double> photons(static_cast<std::size_t>(kSide) * kSide, background);
  for (int bump = 0; bump < count; ++bump) {
    const double cx = where(rng), cy = where(rng);
    for (int y = 0; y < kSide; ++y) {
      for (int x = 0; x < kSide; ++x) {
        const double r2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
        photons[static_cast<std::size_t>(y) * kSide + x] += amplitude * std::exp(-r2 / (2.0 * width * width));
      }
    }
  }
  return photons;
}

// Counts of those means, times gain, plus Gaussian read noise.
std::vector<float> Counted(const std::vector<double>& photons, double gain, double readStd, std::mt19937_64& rng) {
  std::normal_distribution<double> read(0.0, 1.0);
  std::vector<float> plane(photons.size());
  for (std::size_t i = 0; i < plane.size(); ++i) {
    const auto count = std::poisson_distribution<long>(photons[i])(rng);
    plane[i] = static_cast<float>(gain * static_cast<double>(count) + readStd * read(rng));
  }
  return plane;
}

// ---------------------------------------------------------------------------
// The fit, against the truth it was generated with.

TEST(PhotonNoiseFit, SixteenBitGainAndReadNoise) {
  const NoiseLevelFit fit = Fit(PhotonPlane(SixteenBit(), 7));
  ExpectSixteenBitTruth(fit);
  EXPECT_TRUE(IsSignalDependent(fit));
  // The signal range seen: the 5th and 95th percentiles of the patches'
  // true means (a few patches on the discs' edges are left out).
  const std::vector<double> t = Phantom(kSide, kSide);
  std::vector<double> means;
  for (int py = 0; py < kSide / 8; ++py) {
    for (int px = 0; px < kSide / 8; ++px) {
      double sum = 0;
      for (int k = 0; k < 64; ++k) sum += t[static_cast<std::size_t>(py * 8 + k / 8) * kSide + px * 8 + k % 8];
      means.push_back(2.0 * (10.0 + 1490.0 * sum / 64.0));
    }
  }
  std::sort(means.begin(), means.end());
  EXPECT_NEAR(fit.lowSignal, means[means.size() * 5 / 100], 0.1 * means[means.size() * 5 / 100]);
  EXPECT_NEAR(fit.highSignal, means[means.size() * 95 / 100], 0.1 * means[means.size() * 95 / 100]);
  EXPECT_GT(fit.patches, 4096u * 9 / 10);
}

// Pure photon noise stored as counts: variance = x. The offset's bound:
// the line is measured over [lowSignal, highSignal] from bins whose
// variance estimates err by about 1.2% (256 patches of 58 degrees of
// freedom each), so the line extrapolated to zero signal errs by a few
// percent of the variance at the low end at most (over seeds, about 1% of
// gain * lowSignal); 10% of gain * lowSignal is far beyond that, and far
// below what a lost or doubled photon term would give.
TEST(PhotonNoiseFit, PhotonCountsAtLowAndModeratePeaks) {
  for (double peak : {20.0, 100.0}) {
    Noise noise;
    noise.low = 0.1 * peak;
    noise.high = peak;
    const NoiseLevelFit fit = Fit(PhotonPlane(noise, 11));
    ASSERT_TRUE(fit.valid) << "peak " << peak;
    EXPECT_NEAR(fit.nlf.gain, 1.0, 0.1) << "peak " << peak;
    EXPECT_LT(std::fabs(fit.nlf.offset), 0.1 * fit.nlf.gain * fit.lowSignal) << "peak " << peak;
    EXPECT_TRUE(IsSignalDependent(fit)) << "peak " << peak;
  }
}

// A dark sky of 0.1 photons with soft stars: zero is by far the commonest
// value, but no clip level, for the counts of 1 and 2 behind it fall away
// steeply (a Poisson law of mean m has P(1)/P(2) = 2/m). Nearly every patch
// counts, and the dark ones, of variance near zero, pin the line down.
TEST(PhotonNoiseFit, DarkCountsAreNotTakenForClipping) {
  std::mt19937_64 rng(67);
  const NoiseLevelFit fit = Fit(Counted(Bumps(0.1, 30, 40.0, 8.0, rng), 1.0, 0.0, rng));
  ASSERT_TRUE(fit.valid);
  EXPECT_GT(fit.patches, 4096u * 9 / 10);
  EXPECT_LT(fit.lowSignal, 0.5);
  EXPECT_NEAR(fit.nlf.gain, 1.0, 0.1);
  EXPECT_LT(std::fabs(fit.nlf.offset), 0.05);
  EXPECT_TRUE(IsSignalDependent(fit));
}

// A dim picture: half of it dark sky of 0.05 photons, half a faint glow of
// 2. Counts of 1 and 2 are about as common, and zero far commoner: zero
// looks like a clip level. But its margin takes in every patch, so it is
// the bulk of the data and no clip level, and the picture is fitted whole.
TEST(PhotonNoiseFit, DimPictureIsFittedWhole) {
  std::mt19937_64 rng(79);
  std::poisson_distribution<long> dark(0.05), glow(2.0);
  std::vector<float> plane(static_cast<std::size_t>(kSide) * kSide);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      plane[static_cast<std::size_t>(y) * kSide + x] = static_cast<float>(x < kSide / 2 ? dark(rng) : glow(rng));
    }
  }
  const NoiseLevelFit fit = Fit(plane);
  ASSERT_TRUE(fit.valid);
  EXPECT_GT(fit.patches, 4096u * 9 / 10);
  EXPECT_NEAR(fit.nlf.gain, 1.0, 0.1);
  EXPECT_LT(std::fabs(fit.nlf.offset), 0.05);
}

// Counts scaled to 8 bits, value = round(count * 255 / 30), so one photon
// is 8.5 units; counts above 30 clip at 255. The rounding adds at most
// 0.25 to the offset (an odd count lands on .5), nothing next to 8.5 x.
TEST(PhotonNoiseFit, EightBitScaledCounts) {
  Noise noise;
  noise.low = 3.0;
  noise.high = 30.0;
  noise.gain = 255.0 / 30.0;
  noise.clipMax = 255.0;
  const NoiseLevelFit fit = Fit(PhotonPlane(noise, 13));
  ASSERT_TRUE(fit.valid);
  EXPECT_NEAR(fit.nlf.gain, 8.5, 0.85);
  EXPECT_LT(std::fabs(fit.nlf.offset), 0.1 * fit.nlf.gain * fit.lowSignal);
  EXPECT_TRUE(IsSignalDependent(fit));
  // Patches near the clip level are left out: what clipping does to the
  // variance there does not reach the fit.
  EXPECT_LT(fit.highSignal, 255.0 - 2.0 * std::sqrt(8.5 * 200.0));
}

// Counts on a pedestal of 100: variance = (x - 100), offset -100.
TEST(PhotonNoiseFit, PedestalGivesANegativeOffset) {
  Noise noise;
  noise.low = 5.0;
  noise.high = 50.0;
  noise.pedestal = 100.0;
  const NoiseLevelFit fit = Fit(PhotonPlane(noise, 17));
  ASSERT_TRUE(fit.valid);
  EXPECT_NEAR(fit.nlf.gain, 1.0, 0.1);
  EXPECT_NEAR(fit.nlf.offset, -100.0, 10.0);
  EXPECT_TRUE(IsSignalDependent(fit));
}

// Gaussian noise of one level (sigma 20) on an 8-bit photograph whose
// shadows and highlights clip: a ramp from -150 to 405 across the picture,
// a quarter of it black and a quarter white. Clipping takes variance from
// both ends, which a fit that took them in would read as weaker noise
// there, or (one end more than the other) as noise that changes with the
// signal.
TEST(PhotonNoiseFit, ClippedGaussianIsNotPhotonNoise) {
  std::mt19937_64 rng(19);
  std::normal_distribution<double> normal(0.0, 20.0);
  std::vector<float> plane(static_cast<std::size_t>(kSide) * kSide);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const double signal = -150.0 + 555.0 * x / kSide + 15.0 * std::sin(2.0 * std::acos(-1.0) * y / kSide);
      plane[static_cast<std::size_t>(y) * kSide + x] =
          static_cast<float>(std::clamp(std::round(signal + normal(rng)), 0.0, 255.0));
    }
  }
  const NoiseLevelFit fit = Fit(plane);
  ASSERT_TRUE(fit.valid);
  EXPECT_FALSE(IsSignalDependent(fit));
  EXPECT_NEAR(std::sqrt(fit.nlf.gain * fit.lowSignal + fit.nlf.offset), 20.0, 1.0);
  EXPECT_NEAR(std::sqrt(fit.nlf.gain * fit.highSignal + fit.nlf.offset), 20.0, 1.0);
  // The photograph of the photon tests, darker, clipped in its shadows only.
  const std::vector<double> t = Phantom(kSide, kSide);
  for (std::size_t i = 0; i < t.size(); ++i) {
    plane[i] = static_cast<float>(std::clamp(std::round(-25.0 + 290.0 * t[i] + normal(rng)), 0.0, 255.0));
  }
  const NoiseLevelFit shadows = Fit(plane);
  ASSERT_TRUE(shadows.valid);
  EXPECT_FALSE(IsSignalDependent(shadows));
  EXPECT_NEAR(std::sqrt(shadows.nlf.gain * shadows.lowSignal + shadows.nlf.offset), 20.0, 1.0);
  EXPECT_NEAR(std::sqrt(shadows.nlf.gain * shadows.highSignal + shadows.nlf.offset), 20.0, 1.0);
}

// Hot pixels and cosmic-ray hits: one sample in 500 raised by 500 to 3000.
// A patch that holds one has many times the variance of its bin, and is
// trimmed from it.
TEST(PhotonNoiseFit, HotPixelsAreTrimmed) {
  std::vector<float> plane = PhotonPlane(SixteenBit(), 59);
  std::mt19937_64 rng(61);
  std::uniform_real_distribution<double> energy(500.0, 3000.0);
  for (std::size_t i = 0; i < plane.size(); i += 500) plane[i] += static_cast<float>(energy(rng));
  ExpectSixteenBitTruth(Fit(plane));
}

// Sharp edges of a large step: the patches they cross are left out.
TEST(PhotonNoiseFit, HardEdgesDoNotInflateTheNoise) {
  Noise noise = SixteenBit();
  noise.hardEdges = true;
  ExpectSixteenBitTruth(Fit(PhotonPlane(noise, 23)));
}

// A band of fine stripes across a third of the picture, of amplitude twice
// the noise: left in, they would be read as noise twice as strong there
// (a gain near 2.9). Their residual is smooth, not white, and all but a
// tenth of those patches are left out; the noise level over the range the
// fit saw stays within 10% of the truth.
TEST(PhotonNoiseFit, TextureIsNotTakenForNoise) {
  std::vector<float> plane = PhotonPlane(SixteenBit(), 43);
  const std::vector<double> t = Phantom(kSide, kSide);
  const auto deviation = [](double signal) { return std::sqrt(2.0 * signal + 25.0); };
  for (int y = kSide * 6 / 10; y < kSide * 9 / 10; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * kSide + x;
      const double signal = 2.0 * (10.0 + 1490.0 * t[i]);
      plane[i] += static_cast<float>(2.0 * deviation(signal) * std::sin(2.0 * std::acos(-1.0) * x / 6.0));
    }
  }
  const NoiseLevelFit fit = Fit(plane);
  ASSERT_TRUE(fit.valid);
  EXPECT_NEAR(fit.nlf.gain, 2.0, 0.2);
  for (double signal : {fit.lowSignal, fit.highSignal}) {
    EXPECT_NEAR(std::sqrt(fit.nlf.gain * signal + fit.nlf.offset), deviation(signal), 0.1 * deviation(signal))
        << "at " << signal;
  }
}

// Broad smooth blobs (cells, stars out of focus: Gaussian bumps of width
// 10 samples): their curvature within a patch is what the fitted quadratic
// takes up, so nearly every patch counts, and the fit is right.
TEST(PhotonNoiseFit, SmoothCurvatureCostsNoPatches) {
  std::mt19937_64 rng(71);
  const NoiseLevelFit fit = Fit(Counted(Bumps(30.0, 60, 400.0, 10.0, rng), 2.0, 5.0, rng));
  ASSERT_TRUE(fit.valid);
  EXPECT_GT(fit.patches, 4096u * 95 / 100);
  EXPECT_NEAR(fit.nlf.gain, 2.0, 0.2);
}

// Noise of one level on a flat field: every patch holds the same 64 values
// in its own order, so all have the same mean and the slope has nothing to
// be measured from (the weighted mean of the patches' means may still come
// out a rounding away from their common value). The fit is one level, the
// variance of those values.
TEST(PhotonNoiseFit, FlatFieldFitsOneLevel) {
  for (double level : {100.0, 0.37, 4321.0}) {
    for (unsigned seed = 73; seed < 77; ++seed) {
      std::mt19937_64 rng(seed);
      const double step = 0.1 * level;
      std::vector<float> values(64);
      for (int k = 0; k < 64; ++k) values[static_cast<std::size_t>(k)] = static_cast<float>(k % 2 == 0 ? level - step : level + step);
      std::vector<float> plane(256 * 256);
      for (int py = 0; py < 32; ++py) {
        for (int px = 0; px < 32; ++px) {
          std::shuffle(values.begin(), values.end(), rng);
          for (int k = 0; k < 64; ++k) plane[(py * 8 + k / 8) * 256 + px * 8 + k % 8] = values[static_cast<std::size_t>(k)];
        }
      }
      const NoiseLevelFit fit = FitNoiseLevelFunction(plane.data(), 256, 256);
      ASSERT_TRUE(fit.valid) << "level " << level << " seed " << seed;
      EXPECT_EQ(fit.nlf.gain, 0.0) << "level " << level << " seed " << seed;
      EXPECT_NEAR(fit.nlf.offset, step * step * 64.0 / 63.0, 0.1 * step * step) << "level " << level << " seed " << seed;
    }
  }
}

// Photon noise under strong read noise (gain 1, read-noise variance 400,
// signal 50 to 150): the standard deviation changes by 10% over the
// picture, noise of about one level, which needs no transform. The same
// with the read noise gone changes by 70%.
TEST(PhotonNoiseFit, SignalDependenceIsJudgedOnTheChangeInNoise) {
  Noise noise;
  noise.low = 50.0;
  noise.high = 150.0;
  noise.readStd = 20.0;
  noise.round = false;
  const NoiseLevelFit readNoise = Fit(PhotonPlane(noise, 47));
  ASSERT_TRUE(readNoise.valid);
  EXPECT_NEAR(readNoise.nlf.gain, 1.0, 0.5);
  EXPECT_FALSE(IsSignalDependent(readNoise));
  noise.readStd = 0.0;
  const NoiseLevelFit photons = Fit(PhotonPlane(noise, 47));
  ASSERT_TRUE(photons.valid);
  EXPECT_TRUE(IsSignalDependent(photons));
}

// Noise that shrinks as the signal grows is no photon noise: it is fitted
// as noise of one level, its mean variance.
TEST(PhotonNoiseFit, NoiseShrinkingWithTheSignalFitsOneLevel) {
  const std::vector<double> t = Phantom(kSide, kSide);
  std::mt19937_64 rng(53);
  std::normal_distribution<double> normal(0.0, 1.0);
  std::vector<float> plane(t.size());
  for (std::size_t i = 0; i < t.size(); ++i) {
    const double signal = 100.0 + 1000.0 * t[i];
    plane[i] = static_cast<float>(signal + std::sqrt(500.0 - 0.2 * signal) * normal(rng));
  }
  const NoiseLevelFit fit = Fit(plane);
  ASSERT_TRUE(fit.valid);
  EXPECT_EQ(fit.nlf.gain, 0.0);
  EXPECT_GT(fit.nlf.offset, 500.0 - 0.2 * fit.highSignal);
  EXPECT_LT(fit.nlf.offset, 500.0 - 0.2 * fit.lowSignal);
  EXPECT_FALSE(IsSignalDependent(fit));
}

// The criterion itself: the predicted standard deviation at highSignal
// against that at lowSignal, 1.25 the least ratio taken for photon noise.
TEST(PhotonNoiseFit, SignalDependenceNeedsTheNoiseToGrowByAQuarter) {
  const auto fitOf = [](double gain, double offset) {
    NoiseLevelFit fit;
    fit.nlf = {gain, offset};
    fit.valid = true;
    fit.lowSignal = 100.0;
    fit.highSignal = 200.0;
    return fit;
  };
  // Variance 100 at the low end; at the high end 1.2^2 or 1.3^2 times that.
  EXPECT_FALSE(IsSignalDependent(fitOf(0.44, 56.0)));
  EXPECT_TRUE(IsSignalDependent(fitOf(0.69, 31.0)));
  // A line through zero variance within the range: from no noise to some.
  EXPECT_TRUE(IsSignalDependent(fitOf(1.0, -100.0)));
  EXPECT_TRUE(IsSignalDependent(fitOf(1.0, -150.0)));
  // No variance left at the high end, no growth, or no fit.
  EXPECT_FALSE(IsSignalDependent(fitOf(1.0, -250.0)));
  EXPECT_FALSE(IsSignalDependent(fitOf(0.0, 100.0)));
  NoiseLevelFit invalid = fitOf(0.69, 31.0);
  invalid.valid = false;
  EXPECT_FALSE(IsSignalDependent(invalid));
}

TEST(PhotonNoiseFit, SamplesThatAreNotFiniteAreLeftOut) {
  Noise noise;
  noise.low = 10.0;
  noise.high = 100.0;
  std::vector<float> plane = PhotonPlane(noise, 29);
  const NoiseLevelFit clean = Fit(plane);
  for (std::size_t i = 0; i < plane.size(); i += 997) {
    plane[i] = i % 2 == 0 ? std::numeric_limits<float>::quiet_NaN() : std::numeric_limits<float>::infinity();
  }
  const NoiseLevelFit fit = Fit(plane);
  ASSERT_TRUE(fit.valid);
  EXPECT_NEAR(fit.nlf.gain, 1.0, 0.1);
  EXPECT_LT(fit.patches, clean.patches);
}

TEST(PhotonNoiseFit, NoMeasurableNoiseOrTooLittleImageIsInvalid) {
  // A clean smooth float picture: nothing but rounding.
  const std::vector<double> t = Phantom(256, 256);
  std::vector<float> clean(t.begin(), t.end());
  const NoiseLevelFit none = FitNoiseLevelFunction(clean.data(), 256, 256);
  EXPECT_FALSE(none.valid);
  EXPECT_FALSE(IsSignalDependent(none));
  EXPECT_EQ(none.nlf.gain, 0.0);
  const std::vector<float> constant(256 * 256, 42.0f);
  EXPECT_FALSE(FitNoiseLevelFunction(constant.data(), 256, 256).valid);
  // A quadratic surface in floats: its residual is rounding alone, white
  // but some 1e-8 of the signal.
  std::vector<float> rounded(256 * 256);
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) rounded[y * 256 + x] = static_cast<float>(1000.0 + 0.37 * x + 0.011 * y * y);
  }
  EXPECT_FALSE(FitNoiseLevelFunction(rounded.data(), 256, 256).valid);
  // 64x64 holds 64 patches of 8x8, 48 being the least fitted; 48x48 holds
  // 36.
  Noise noise;
  noise.low = 10.0;
  noise.high = 100.0;
  EXPECT_TRUE(Fit(PhotonPlane(noise, 31, 64), 64).valid);
  EXPECT_FALSE(Fit(PhotonPlane(noise, 31, 48), 48).valid);
  EXPECT_FALSE(FitNoiseLevelFunction(nullptr, 256, 256).valid);
  EXPECT_FALSE(FitNoiseLevelFunction(clean.data(), 0, 256).valid);
}

// ---------------------------------------------------------------------------
// The transform and its inverse.

// z = Poisson(lambda) + N(0, sigma^2), a million times: the mean of f(z)
// inverted gives lambda back, where the algebraic inverse does not.
TEST(PhotonNoiseInverse, RecoversTheMeanOfSimulatedCounts) {
  for (double sigma : {0.0, 1.0}) {
    const NoiseLevelFunction nlf{1.0, sigma * sigma};
    for (double lambda : {0.3, 0.5, 1.0, 2.0, 5.0, 20.0}) {
      std::mt19937_64 rng(static_cast<unsigned>(1000 * lambda + 7 * sigma));
      std::poisson_distribution<long> photons(lambda);
      std::normal_distribution<double> read(0.0, sigma > 0 ? sigma : 1.0);
      // Below one photon, read noise of one photon hides most of the
      // signal: four times the samples to measure it to 1%.
      const int samples = sigma > 0 && lambda < 1 ? 4000000 : 1000000;
      double sum = 0, squares = 0;
      for (int i = 0; i < samples; ++i) {
        const double z = static_cast<double>(photons(rng)) + (sigma > 0 ? read(rng) : 0.0);
        const double value = StabilisedValue(z, nlf);
        sum += value;
        squares += value * value;
      }
      const double d = sum / samples;
      // The sampling error of the estimate: the standard error of d
      // through the slope of the inverse. The 1% tolerance must be more
      // than three of them, or the comparison would prove nothing.
      const double standardError = std::sqrt((squares / samples - d * d) / samples);
      const double slope = (UnbiasedInverse(d + 1e-3, nlf) - UnbiasedInverse(d - 1e-3, nlf)) / 2e-3;
      ASSERT_LT(3.0 * standardError * slope, 0.01 * lambda) << "lambda " << lambda << " sigma " << sigma;

      EXPECT_NEAR(UnbiasedInverse(d, nlf), lambda, 0.01 * lambda) << "lambda " << lambda << " sigma " << sigma;
      if (lambda <= 2.0) {
        EXPECT_GT(std::fabs(AlgebraicInverse(d, nlf) - lambda), 0.01 * lambda)
            << "lambda " << lambda << " sigma " << sigma;
      }
    }
  }
}

// The table and its interpolation against the expectation summed afresh,
// from far below one photon to far beyond the table's end (1000 photons),
// in the file's units: gain 3, with read noise, without, and on a pedestal
// of 100 (offset -300). Linear interpolation between nodes 1% apart errs by
// at most (0.01)^2 / 16 = 6e-6 of lambda.
TEST(PhotonNoiseInverse, InvertsTheExpectedTransformInFileUnits) {
  for (double offset : {25.0, 0.0, -300.0}) {
    const NoiseLevelFunction nlf{3.0, offset};
    const double pedestal = offset < 0 ? -offset / 3.0 : 0.0;
    for (double photons = 2e-4; photons < 5e4; photons *= 1.37) {
      const double x = pedestal + 3.0 * photons;
      const double back = UnbiasedInverse(ExpectedStabilisedValue(x, nlf), nlf);
      EXPECT_NEAR(back - pedestal, 3.0 * photons, 1e-5 * 3.0 * photons) << "offset " << offset << " photons " << photons;
    }
    // No mean signal gives less than none: the least value and below map to
    // the signal of zero photons.
    const double least = ExpectedStabilisedValue(pedestal, nlf);
    EXPECT_NEAR(UnbiasedInverse(least, nlf), pedestal, 1e-9);
    EXPECT_EQ(UnbiasedInverse(least - 0.5, nlf), pedestal);
    EXPECT_EQ(UnbiasedInverse(-10.0, nlf), pedestal);
  }
}

// In file units, Monte Carlo: samples of X (gain 3 times counts, plus read
// noise of variance 25, or on a pedestal of 100 for offset -300), put
// through StabilisedValue; their mean through UnbiasedInverse is the mean
// of X. Pins down how the two normalise offset into sigma and pedestal.
TEST(PhotonNoiseInverse, AgreesWithTheTransformOnSimulatedFileValues) {
  for (double offset : {25.0, 0.0, -300.0}) {
    const NoiseLevelFunction nlf{3.0, offset};
    for (double photons : {0.5, 3.0, 40.0}) {
      std::mt19937_64 rng(static_cast<unsigned>(photons * 10 + 3));
      std::poisson_distribution<long> counts(photons);
      std::normal_distribution<double> read(0.0, 5.0);
      const double pedestal = offset < 0 ? 100.0 : 0.0;
      constexpr int kSamples = 400000;
      double sum = 0;
      for (int i = 0; i < kSamples; ++i) {
        double x = pedestal + 3.0 * static_cast<double>(counts(rng));
        if (offset > 0) x += read(rng);
        sum += StabilisedValue(x, nlf);
      }
      // Sampling error of the mean of f (std about 1) is 1/630 here, times
      // the slope of the inverse, about 3 sqrt(photons + 1) in file units.
      const double tolerance = 5.0 * 3.0 * std::sqrt(photons + 1.0) / std::sqrt(kSamples);
      EXPECT_NEAR(UnbiasedInverse(sum / kSamples, nlf), pedestal + 3.0 * photons, tolerance)
          << "offset " << offset << " photons " << photons;
    }
  }
}

// Across the table's end (1000 photons), where the asymptotic form takes
// over, the inverse neither steps nor turns back: in steps of 1e-5 of D it
// rises by about D / 2 * 1e-5 each time.
TEST(PhotonNoiseInverse, JoinsTheAsymptoticFormSmoothly) {
  for (double sigma : {0.0, 1.0}) {
    const NoiseLevelFunction nlf{1.0, sigma * sigma};
    const double from = ExpectedStabilisedValue(990.0, nlf);
    const double to = ExpectedStabilisedValue(1030.0, nlf);
    double previous = UnbiasedInverse(from, nlf);
    for (double d = from + 1e-5; d < to; d += 1e-5) {
      const double lambda = UnbiasedInverse(d, nlf);
      const double expected = d / 2.0 * 1e-5;
      ASSERT_NEAR(lambda - previous, expected, 0.1 * expected) << "sigma " << sigma << " d " << d;
      previous = lambda;
    }
  }
}

TEST(PhotonNoiseInverse, IsMonotone) {
  for (double offset : {0.0, 4.0, -50.0}) {
    const NoiseLevelFunction nlf{2.0, offset};
    double previous = -std::numeric_limits<double>::infinity();
    for (double d = 0.0; d < 200.0; d += 0.01) {
      const double x = UnbiasedInverse(d, nlf);
      ASSERT_GE(x, previous) << "offset " << offset << " d " << d;
      previous = x;
    }
  }
}

TEST(PhotonNoiseTransform, MatchesTheFormulaAndRefusesABadFunction) {
  const NoiseLevelFunction nlf{2.0, 9.0};
  std::vector<float> samples = {-100.0f, 0.0f, 10.0f, 1000.0f};
  StabiliseVariance(samples.data(), samples.size(), nlf);
  EXPECT_FLOAT_EQ(samples[0], 0.0f);  // below the root's zero
  EXPECT_FLOAT_EQ(samples[1], static_cast<float>(std::sqrt(1.5 + 9.0)));
  EXPECT_FLOAT_EQ(samples[2], static_cast<float>(std::sqrt(20.0 + 1.5 + 9.0)));
  EXPECT_FLOAT_EQ(samples[3], static_cast<float>(std::sqrt(2000.0 + 1.5 + 9.0)));
  EXPECT_NEAR(AlgebraicInverse(StabilisedValue(1000.0, nlf), nlf), 1000.0, 1e-9);
  // Far from zero the unbiased inverse of f(x) is x less the small bias.
  EXPECT_NEAR(UnbiasedInverse(StabilisedValue(1e5, nlf), nlf), 1e5 + 2.0 / 4.0, 0.02);

  for (const NoiseLevelFunction& bad : {NoiseLevelFunction{0.0, 1.0}, NoiseLevelFunction{-1.0, 1.0},
                                        NoiseLevelFunction{std::nan(""), 1.0},
                                        NoiseLevelFunction{1.0, std::numeric_limits<double>::infinity()}}) {
    EXPECT_THROW(StabiliseVariance(samples.data(), samples.size(), bad), std::invalid_argument);
    EXPECT_THROW(UnstabiliseVariance(samples.data(), samples.size(), bad), std::invalid_argument);
    EXPECT_THROW(UnbiasedInverse(1.0, bad), std::invalid_argument);
  }
}

// A flat region of 20 photons: after the transform the noise has standard
// deviation 1 (within 5%; 65536 samples measure it to 0.3%).
TEST(PhotonNoiseTransform, FlatPhotonRegionGetsUnitNoise) {
  std::mt19937_64 rng(37);
  std::poisson_distribution<long> counts(20.0);
  std::vector<float> samples(256 * 256);
  for (float& s : samples) s = static_cast<float>(counts(rng));
  StabiliseVariance(samples.data(), samples.size(), NoiseLevelFunction{1.0, 0.0});
  double sum = 0, squares = 0;
  for (float s : samples) sum += s;
  const double mean = sum / static_cast<double>(samples.size());
  for (float s : samples) squares += (s - mean) * (s - mean);
  EXPECT_NEAR(std::sqrt(squares / static_cast<double>(samples.size() - 1)), 1.0, 0.05);
}

// ---------------------------------------------------------------------------
// Whole images.

// Two channels of different gains: each is fitted and transformed with
// its own function, after which both carry noise of standard deviation 1
// everywhere, no longer growing with the signal.
TEST(PhotonNoiseImage, EachChannelIsFittedAndStabilisedOnItsOwn) {
  HostImagePtr image(CreateImage(kSide, kSide, 2, 65535.0f));
  const double gains[] = {2.0, 6.0};
  for (int c = 0; c < 2; ++c) {
    Noise noise;
    noise.gain = gains[c];
    noise.low = 20.0;
    noise.high = 800.0;
    noise.readStd = 4.0;
    noise.clipMax = 65535.0;
    const std::vector<float> plane = PhotonPlane(noise, 41 + static_cast<unsigned>(c));
    std::copy(plane.begin(), plane.end(), ImagePlane(image.get(), c));
  }
  const std::vector<NoiseLevelFit> fits = FitImageNoiseLevels(image.get());
  ASSERT_EQ(fits.size(), 2u);
  std::vector<NoiseLevelFunction> nlfs;
  for (int c = 0; c < 2; ++c) {
    ASSERT_TRUE(fits[c].valid);
    EXPECT_NEAR(fits[c].nlf.gain, gains[c], 0.1 * gains[c]);
    nlfs.push_back(fits[c].nlf);
  }
  const float before = ImagePlane(image.get(), 1)[1000];
  StabiliseImage(image.get(), nlfs);
  EXPECT_FLOAT_EQ(ImagePlane(image.get(), 1)[1000], static_cast<float>(StabilisedValue(before, nlfs[1])));
  for (int c = 0; c < 2; ++c) {
    EXPECT_NEAR(EstimatePlaneNoise(ImagePlane(image.get(), c), kSide, kSide), 1.0, 0.05) << "channel " << c;
    const NoiseLevelFit after = FitNoiseLevelFunction(ImagePlane(image.get(), c), kSide, kSide);
    ASSERT_TRUE(after.valid);
    EXPECT_FALSE(IsSignalDependent(after)) << "channel " << c;
  }
  const float transformed = ImagePlane(image.get(), 0)[5000];
  UnstabiliseImage(image.get(), nlfs);
  EXPECT_FLOAT_EQ(ImagePlane(image.get(), 0)[5000], static_cast<float>(UnbiasedInverse(transformed, nlfs[0])));
}

TEST(PhotonNoiseImage, OneFunctionPerChannelOrNothingChanges) {
  HostImagePtr image(CreateImage(16, 16, 3, 255.0f));
  for (int c = 0; c < 3; ++c) std::fill_n(ImagePlane(image.get(), c), 256, 50.0f);
  const NoiseLevelFunction good{1.0, 0.0};
  EXPECT_THROW(StabiliseImage(image.get(), {good, good}), std::invalid_argument);
  EXPECT_THROW(UnstabiliseImage(image.get(), {good, good, good, good}), std::invalid_argument);
  EXPECT_THROW(StabiliseImage(image.get(), {good, good, NoiseLevelFunction{0.0, 1.0}}), std::invalid_argument);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(ImagePlane(image.get(), c)[17], 50.0f) << "channel " << c;
}

}  // namespace
}  // namespace calvane::app
