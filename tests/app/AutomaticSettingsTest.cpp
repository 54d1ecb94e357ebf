// What the program chooses by itself, run on real files: the scale of the
// data, the level and the count, photon noise, colour edges, and the notes
// it gives when a setting makes no sense for the image.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>

#include "ProgramFixture.h"
#include "TestFiles.h"

namespace calvane::app::test {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

class Settings : public Program {};

// A picture with smooth shading, flat parts and sharp edges, 0..1.
float Phantom(int x, int y, int c) {
  double v = 0.2 + 0.3 * x / 160.0 + 0.1 * std::sin(y / 11.0);
  if (std::hypot(x - 60.0, y - 50.0) < 28.0) v = 0.85 - 0.05 * c;
  if (x > 100 && y > 70 && y < 110) v = 0.1 + 0.05 * c;
  return static_cast<float>(v);
}

constexpr int kSide = 160;

// The value of `option` in a dry run's output ("Iterations: 86" -> 86).
double Printed(const std::string& out, const std::string& name) {
  const std::size_t at = out.find(name + ": ");
  if (at == std::string::npos) return NAN;
  return std::atof(out.c_str() + at + name.size() + 2);
}

// PSNR of channel 0 of `image` against `clean` (both as SampleFn, 0..1 scale
// `peak`), in dB.
double Psnr(const ImageData& image, const std::function<double(int, int)>& clean, double scale, double peak) {
  double sum = 0.0;
  const int w = image.spec.width;
  const int n = image.spec.nchannels;
  for (int y = 0; y < image.spec.height; ++y) {
    for (int x = 0; x < w; ++x) {
      const double d = image.pixels[static_cast<std::size_t>((y * w + x) * n)] * scale - clean(x, y);
      sum += d * d;
    }
  }
  return 10.0 * std::log10(peak * peak / (sum / (w * image.spec.height)));
}

TEST_F(Settings, OnePictureGivesOneResultHoweverItIsStored) {
  // One noisy 8-bit picture, stored five ways; each result is read back in
  // 8-bit units.
  std::mt19937 rng(7);
  std::normal_distribution<double> normal(0.0, 20.0);
  std::vector<double> noisy(kSide * kSide);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x)
      noisy[y * kSide + x] = std::clamp(std::round(255.0 * Phantom(x, y, 0) + normal(rng)), 0.0, 255.0);
  struct Storage {
    const char* name;
    OIIO::TypeDesc type;
    double factor;  // stored value = 8-bit value * factor, before the type's own 0..1 mapping
    double readScale;  // what ReadImage's 0..1 values are multiplied by to come back to 8-bit units
  };
  const Storage storages[] = {{"in8.png", OIIO::TypeUInt8, 1.0 / 255, 255.0},
                              {"in12.tif", OIIO::TypeUInt16, 16.0 / 65535, 65535.0 / 16},
                              {"in1.exr", OIIO::TypeFloat, 1.0 / 255, 255.0},
                              {"in100.exr", OIIO::TypeFloat, 100.0 / 255, 255.0 / 100},
                              {"in0001.exr", OIIO::TypeFloat, 0.001 / 255, 255.0 / 0.001}};
  const auto clean = [](int x, int y) { return 255.0 * Phantom(x, y, 0); };
  std::vector<double> results;
  for (const Storage& storage : storages) {
    SCOPED_TRACE(storage.name);
    const std::string in = m_dir / storage.name;
    const std::string out = m_dir / (std::string("out-") + storage.name);
    WriteImage(in, kSide, kSide, 1, storage.type,
               [&](int x, int y, int) { return static_cast<float>(noisy[y * kSide + x] * storage.factor); });
    const Result r = Run({in, out});
    ASSERT_EQ(r.status, 0) << r.err;
    results.push_back(Psnr(ReadImage(out), clean, storage.readScale, 255.0));
  }
  const double noisyPsnr = Psnr(ReadImage(m_dir / "in8.png"), clean, 255.0, 255.0);
  for (std::size_t i = 0; i < results.size(); ++i) {
    EXPECT_GT(results[i], noisyPsnr + 8.0) << storages[i].name;
    EXPECT_NEAR(results[i], results[0], 0.2) << storages[i].name << " against " << storages[0].name;
  }
}

TEST_F(Settings, TheCountFollowsTheNoise) {
  std::map<int, double> counts;
  for (const int sigma : {3, 30}) {
    const std::string in = m_dir / ("in" + std::to_string(sigma) + ".png");
    WriteImage(in, kSide, kSide, 1, OIIO::TypeUInt8, [&, rng = std::make_shared<std::mt19937>(sigma)](int x, int y, int c) {
      return Phantom(x, y, c) + std::normal_distribution<float>(0.0f, sigma / 255.0f)(*rng);
    });
    const Result r = Run({"--dry-run", in});
    ASSERT_EQ(r.status, 0) << r.err;
    counts[sigma] = Printed(r.out, "Iterations");
    EXPECT_THAT(r.err, HasSubstr("Iterations set to " + std::to_string(static_cast<int>(counts[sigma])))) << r.err;
  }
  EXPECT_GE(counts[3], 6);
  EXPECT_LE(counts[3], 40) << "weak noise is done early";
  EXPECT_GE(counts[30], 3 * counts[3]) << "strong noise needs longer";
}

// The phantom with photon noise: `peak` photons expected at the brightest,
// counts stored as they are in a 16-bit file.
SampleFn PhotonCounts(double peak, unsigned seed) {
  auto rng = std::make_shared<std::mt19937>(seed);
  return [=](int x, int y, int c) {
    std::poisson_distribution<int> photons(peak * Phantom(x, y, c) / 0.85);
    return static_cast<float>(photons(*rng) / 65535.0);
  };
}

TEST_F(Settings, PhotonNoiseIsStabilisedDenoisedAndMappedBack) {
  for (const double peak : {20.0, 100.0}) {
    SCOPED_TRACE(peak);
    const std::string in = m_dir / "counts.tif";
    // Floating point out: a 16-bit file would round the result to whole
    // photons, which at a few photons is most of what is left of the error.
    const std::string out = m_dir / "out.exr";
    WriteImage(in, kSide, kSide, 1, OIIO::TypeUInt16, PhotonCounts(peak, 11));
    const auto expected = [peak](int x, int y) { return peak * Phantom(x, y, 0) / 0.85; };

    Result r = Run({"--dry-run", "--noise", "poisson", in});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("Noise Type: Additive\n"));
    EXPECT_THAT(r.out, HasSubstr("Noise model: poisson\n"));
    const std::size_t gain = r.out.find("Photon noise, channel 1: gain ");
    ASSERT_NE(gain, std::string::npos) << r.out;
    EXPECT_NEAR(std::atof(r.out.c_str() + gain + 30), 1.0, 0.1) << r.out;

    r = Run({"-q", "--noise", "poisson", in, out});
    ASSERT_EQ(r.status, 0) << r.err;
    const ImageData result = ReadImage(out);
    const double noisy = Psnr(ReadImage(in), expected, 65535.0, peak);
    const double denoised = Psnr(result, expected, 65535.0, peak);
    EXPECT_GT(denoised, noisy + (peak < 50 ? 11.0 : 9.0)) << "noisy " << noisy;

    // Flat parts keep their brightness, the dark one too (about 2.4 photons
    // at the lower peak, where the algebraic inverse would lose a tenth).
    const auto meanOver = [&](auto inside) {
      double sum = 0.0;
      int count = 0;
      for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x)
          if (inside(x, y)) sum += result.pixels[y * kSide + x] * 65535.0, ++count;
      return sum / count;
    };
    EXPECT_NEAR(meanOver([](int x, int y) { return std::hypot(x - 60.0, y - 50.0) < 18.0; }), peak, 0.03 * peak);
    const double dark = peak * 0.1 / 0.85;
    EXPECT_NEAR(meanOver([](int x, int y) { return x >= 106 && x <= 154 && y >= 76 && y <= 104; }), dark, 0.03 * dark);
  }
}

TEST_F(Settings, AutoTellsPhotonNoiseFromNoiseOfOneLevel) {
  WriteImage(m_dir / "counts.tif", kSide, kSide, 1, OIIO::TypeUInt16, PhotonCounts(30.0, 12));
  WriteImage(m_dir / "gauss.png", kSide, kSide, 3, OIIO::TypeUInt8,
             [rng = std::make_shared<std::mt19937>(13)](int x, int y, int c) {
               return Phantom(x, y, c) + std::normal_distribution<float>(0.0f, 20.0f / 255)(*rng);
             });
  Result r = Run({"--dry-run", m_dir / "counts.tif"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("Noise model: poisson (chosen by --noise auto)\n"));
  r = Run({"--dry-run", m_dir / "gauss.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("Noise model: additive (chosen by --noise auto)\n"));
  EXPECT_THAT(r.out, HasSubstr("Channels: joint (one set of edges for every colour channel)\n"));
  EXPECT_NEAR(Printed(r.out, "Noise Variance"), 0.9 * 20, 0.25 * 20) << r.out;
  r = Run({"--dry-run", "--channels", "independent", "--noise", "additive", m_dir / "gauss.png"});
  EXPECT_THAT(r.out, HasSubstr("Channels: independent (each colour channel on its own)\n"));
  EXPECT_THAT(r.out, HasSubstr("Noise model: additive\n"));
}

TEST_F(Settings, OddSettingsAreNotedOnceAndQuietSilencesThem) {
  // A clean two-level picture with a disc: 64, 191 and 230 in 8 bits, so
  // the spread of its values is 230 - 64.
  WriteImage(m_dir / "clean.png", 96, 64, 1, OIIO::TypeUInt8, Cartoon);
  Result r = Run({"--variance", "300", "--iterations", "2", m_dir / "clean.png", m_dir / "a.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.err, StartsWith("calvane: --variance 300 is larger than the spread of the image's values (166): "
                                "the result will hardly be held to the input\n"));
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << "the note and the file done: " << r.err;

  r = Run({"--noise", "multiplicative", "--variance", "5", m_dir / "clean.png", m_dir / "b.png"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "calvane: --variance: 5 is outside 0 to 1, the limit of Noise Variance with --noise multiplicative\n");

  // No noise to measure, and a strip too thin to measure: written unchanged.
  r = Run({m_dir / "clean.png", m_dir / "c.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.err, StartsWith("calvane: clean.png: no noise could be measured; it is written unchanged\n"));
  EXPECT_EQ(RmsDifference(ReadImage(m_dir / "c.png"), ReadImage(m_dir / "clean.png"), 0), 0.0);
  WriteImage(m_dir / "strip.png", 200, 3, 1, OIIO::TypeUInt8, NoisyCartoon(0.1f, 3));
  r = Run({m_dir / "strip.png", m_dir / "d.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.err, StartsWith("calvane: strip.png: too small to measure its noise (at least 4x4 pixels are needed); "
                                "it is written unchanged\n"));
  EXPECT_EQ(RmsDifference(ReadImage(m_dir / "d.png"), ReadImage(m_dir / "strip.png"), 0), 0.0);
  r = Run({"--variance", "10", m_dir / "strip.png", m_dir / "e.png"});
  EXPECT_THAT(r.err, StartsWith("calvane: strip.png: too small to measure its noise (at least 4x4 pixels are needed); "
                                "Iterations stays at 20\n"));

  r = Run({"-q", "--variance", "300", "--iterations", "2", m_dir / "clean.png", m_dir / "f.png"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
}

}  // namespace
}  // namespace calvane::app::test
