#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <vector>

#include "app/AutoVariance.h"
#include "host/Image.h"
#include "hostlib/HostImage.h"

namespace calvane::app {
namespace {

constexpr int kSide = 160;

HostImagePtr Picture(float scale) {
  HostImagePtr image(CreateImage(kSide, kSide, 1, scale));
  float* p = ImagePlane(image.get(), 0);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x)
      p[y * kSide + x] = scale * static_cast<float>(0.3 + 0.2 * std::sin(x / 9.0) * std::cos(y / 13.0) +
                                                    (std::hypot(x - 80.0, y - 70.0) < 40 ? 0.3 : 0.0));
  return image;
}

HostImagePtr WithNoise(const Image* clean, double sigma, unsigned seed) {
  HostImagePtr noisy(DuplicateImage(const_cast<Image*>(clean)));
  std::mt19937 rng(seed);
  std::normal_distribution<float> normal(0.0f, static_cast<float>(sigma));
  float* p = ImagePlane(noisy.get(), 0);
  for (std::size_t i = 0; i < ImageSampleCount(clean); ++i) p[i] += normal(rng);
  return noisy;
}

// A stand-in for the plug-in whose smoothing grows with the noise level: a blend
// of the image with its 3x3 box blur.
void BlendWithBlur(Image* image, double amount) {
  const HostImagePtr source(DuplicateImage(image));
  const float* in = ImagePlane(source.get(), 0);
  float* out = ImagePlane(image, 0);
  for (int y = 1; y + 1 < kSide; ++y) {
    for (int x = 1; x + 1 < kSide; ++x) {
      double sum = 0.0;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) sum += in[(y + dy) * kSide + x + dx];
      out[y * kSide + x] = static_cast<float>((1.0 - amount) * in[y * kSide + x] + amount * sum / 9.0);
    }
  }
}

TEST(AutoVariance, RiskEstimateOfAScalingMatchesItsTrueError) {
  const HostImagePtr clean = Picture(255.0f);
  const double sigma = 20.0;
  const HostImagePtr noisy = WithNoise(clean.get(), sigma, 1);
  HostImagePtr direction(NewImage(noisy.get()));
  {
    std::mt19937 rng(2);
    std::normal_distribution<float> normal;
    float* d = ImagePlane(direction.get(), 0);
    for (std::size_t i = 0; i < ImageSampleCount(noisy.get()); ++i) d[i] = normal(rng);
  }
  const double epsilon = 2.0;
  HostImagePtr perturbed(DuplicateImage(noisy.get()));
  AddImage(perturbed.get(), direction.get(), static_cast<float>(epsilon));
  // Shrinking towards 0 by a half: the risk is the mean of (y/2 - x)^2.
  MultiplyConstant(perturbed.get(), 0.5f);
  HostImagePtr denoised(DuplicateImage(noisy.get()));
  MultiplyConstant(denoised.get(), 0.5f);
  const double estimate = SteinRiskEstimate(noisy.get(), denoised.get(), perturbed.get(), direction.get(), epsilon, sigma);
  const double truth = ImageDiffEnergy(denoised.get(), clean.get());
  EXPECT_NEAR(estimate, truth, 0.03 * truth);
}

// A stand-in for the plug-in whose smoothing grows with the noise level and with
// the count: each iteration blends in a little of the 3x3 box blur, more
// for a larger noise level; it looks at the image where the plug-in redraws.
TrialDenoiser StandIn(const double& sigma) {
  return [&sigma](Image* image, double noiseLevel, int iterations, const TrialLook& atRedraw) {
    const double amount = std::clamp((noiseLevel / sigma - 0.6) * 0.15, 0.0, 0.1);
    for (int i = 0; i < iterations; ++i) {
      BlendWithBlur(image, amount);
      if (i % kRedrawInterval == 0 && atRedraw && !atRedraw(image)) return true;
    }
    return false;
  };
}

TEST(AutoVariance, PicksTheFactorWithTheLeastTrueErrorAtTheCountGiven) {
  const HostImagePtr clean = Picture(255.0f);
  const HostImagePtr noisy = WithNoise(clean.get(), 15.0, 3);
  const double sigma = MeasureAutoVariance(noisy.get(), 1.0).sigma;
  const TrialDenoiser denoise = StandIn(sigma);
  // A short count, and one long past the least error of every factor: the
  // factor must be judged at the count given, not where its error was least.
  for (const int count : {16, 121}) {
    SCOPED_TRACE(count);
    std::map<long, double> trueError;  // by factor in hundredths
    for (double f = kMinAutoVarianceFactor; f <= kMaxAutoVarianceFactor + 1e-9; f += kAutoVarianceFactorStep) {
      HostImagePtr trial(DuplicateImage(noisy.get()));
      denoise(trial.get(), f * sigma, count, nullptr);
      trueError[std::lround(f * 100)] = ImageDiffEnergy(trial.get(), clean.get());
    }
    const auto bestTrue = std::min_element(trueError.begin(), trueError.end(),
                                           [](const auto& a, const auto& b) { return a.second < b.second; });
    ASSERT_NE(bestTrue->first, std::lround(kDefaultAutoVarianceFactor * 100)) << "the case must make the search move";

    const AutoSettings chosen = ChooseAutoSettings(noisy.get(), AutoRequest{std::nullopt, count}, denoise);
    EXPECT_NEAR(chosen.sigma, 15.0, 1.5);
    EXPECT_EQ(chosen.iterations, count) << "a count given is kept";
    EXPECT_DOUBLE_EQ(chosen.noiseLevel, chosen.factor * chosen.sigma);
    const double errorOfChoice = trueError.at(std::lround(chosen.factor * 100));
    EXPECT_LE(errorOfChoice, bestTrue->second * 1.02)
        << "chose " << chosen.factor << ", best is " << bestTrue->first / 100.0;
  }
}

TEST(AutoVariance, PicksTheCountAfterWhichTheErrorStopsFalling) {
  const HostImagePtr clean = Picture(255.0f);
  for (const double noise : {6.0, 25.0}) {
    SCOPED_TRACE(noise);
    const HostImagePtr noisy = WithNoise(clean.get(), noise, 4);
    const double sigma = MeasureAutoVariance(noisy.get(), 1.0).sigma;
    const TrialDenoiser denoise = StandIn(sigma);
    const double noiseLevel = 1.3 * sigma;
    // The true error at every count the chooser can see.
    std::map<int, double> trueError;
    HostImagePtr trial(DuplicateImage(noisy.get()));
    int seen = 0;
    denoise(trial.get(), noiseLevel, kMaxAutoIterations, [&](const Image* image) {
      trueError[1 + kRedrawInterval * seen++] = ImageDiffEnergy(const_cast<Image*>(image), clean.get());
      return true;
    });
    const auto best = std::min_element(trueError.begin(), trueError.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
    ASSERT_GT(best->first, kMinAutoIterations) << "the case must have a count to find";

    const AutoSettings chosen = ChooseAutoSettings(noisy.get(), AutoRequest{noiseLevel, std::nullopt}, denoise);
    EXPECT_EQ(chosen.noiseLevel, noiseLevel) << "a level given is kept";
    ASSERT_EQ(trueError.count(chosen.iterations), 1u) << chosen.iterations << " is not a count the flow redraws at";
    EXPECT_LE(trueError.at(chosen.iterations), best->second * 1.03)
        << "chose " << chosen.iterations << ", best is " << best->first;
    EXPECT_LE(chosen.iterations, best->first) << "no more iterations than the least error needs";
  }
}

// A stand-in for the plug-in's additive flow: each iteration blends in a
// little of the 3x3 box blur, then the image is pulled back onto the ball
// of the noise level around the noisy one (root mean square distance), where it
// settles. With `towards` it then goes on moving along the ball, a little
// closer to that image at each iteration: its error keeps falling long
// after it has reached the noise level. `iterationsRun` counts the iterations
// it was asked to run, in all.
TrialDenoiser HeldToTheRadius(const Image* towards, long& iterationsRun) {
  return [towards, &iterationsRun](Image* image, double noiseLevel, int iterations, const TrialLook& atRedraw) {
    const HostImagePtr noisy(DuplicateImage(image));
    float* p = ImagePlane(image, 0);
    const float* y = ImagePlane(noisy.get(), 0);
    bool reached = false;
    for (int i = 0; i < iterations; ++i) {
      ++iterationsRun;
      BlendWithBlur(image, 0.3);
      if (reached && towards) {
        const float* t = ImagePlane(towards, 0);
        for (std::size_t k = 0; k < ImageSampleCount(image); ++k) p[k] += 0.02f * (t[k] - p[k]);
      }
      const double distance = std::sqrt(ImageDiffEnergy(image, noisy.get()));
      if (distance > noiseLevel) {
        reached = true;
        const double pull = noiseLevel / distance;
        for (std::size_t k = 0; k < ImageSampleCount(image); ++k) p[k] = static_cast<float>(y[k] + pull * (p[k] - y[k]));
      }
      if (i % kRedrawInterval == 0 && atRedraw && !atRedraw(image)) return true;
    }
    return false;
  };
}

// The true error after every count the chooser can see, of one long run.
std::map<int, double> TrueErrors(const TrialDenoiser& denoise, const Image* noisy, const Image* clean, double noiseLevel) {
  std::map<int, double> errors;
  HostImagePtr trial(DuplicateImage(const_cast<Image*>(noisy)));
  int seen = 0;
  denoise(trial.get(), noiseLevel, kMaxAutoIterations, [&](const Image* image) {
    errors[1 + kRedrawInterval * seen++] = ImageDiffEnergy(const_cast<Image*>(image), const_cast<Image*>(clean));
    return true;
  });
  return errors;
}

TEST(AutoVariance, TrialsOfAFlowHeldToItsRadiusStopOnceItsErrorHasSettled) {
  const HostImagePtr clean = Picture(255.0f);
  const HostImagePtr noisy = WithNoise(clean.get(), 20.0, 6);
  const double sigma = MeasureAutoVariance(noisy.get(), 1.0).sigma;
  const double noiseLevel = 0.9 * sigma;
  long unused = 0;
  // The flow settles on the noise level after a few dozen iterations, or goes
  // on gaining long after it has reached it.
  for (const Image* towards : {static_cast<const Image*>(nullptr), static_cast<const Image*>(clean.get())}) {
    SCOPED_TRACE(towards ? "still gaining on the noiseLevel" : "settled on the noiseLevel");
    const std::map<int, double> truth = TrueErrors(HeldToTheRadius(towards, unused), noisy.get(), clean.get(), noiseLevel);
    const auto best = std::min_element(truth.begin(), truth.end(), [](const auto& a, const auto& b) { return a.second < b.second; });

    long iterationsRun = 0;
    const AutoSettings chosen = ChooseAutoSettings(noisy.get(), AutoRequest{noiseLevel, std::nullopt}, HeldToTheRadius(towards, iterationsRun));
    ASSERT_EQ(truth.count(chosen.iterations), 1u) << chosen.iterations;
    EXPECT_LE(truth.at(chosen.iterations), best->second * 1.03) << "chose " << chosen.iterations << ", best is " << best->first;
    if (towards) {
      EXPECT_GT(best->first, 100) << "the case must gain well past the noiseLevel";
    } else {
      // The pair of trials stops a few looks after the error has settled,
      // far short of the reach (twice the noise level in time steps, about
      // 150 iterations here, for each of the two runs).
      ASSERT_LT(best->first, 40);
      EXPECT_LE(iterationsRun, 2 * (best->first + 10 * kRedrawInterval)) << "chose " << chosen.iterations;
    }
  }
}

// Trials come in pairs, a plain run and then its perturbed partner, which
// stops where the exact risk has settled. From the second level on, the
// plain run foresees that point from the level before, and goes only a few
// looks past it.
TEST(AutoVariance, PlainTrialsOfLaterLevelsStopNearWhereTheRiskSettles) {
  const HostImagePtr clean = Picture(255.0f);
  for (const double noise : {12.0, 20.0}) {
    SCOPED_TRACE(noise);
    const HostImagePtr noisy = WithNoise(clean.get(), noise, 6);
    long total = 0;
    const TrialDenoiser flow = HeldToTheRadius(nullptr, total);
    std::vector<long> runs;  // the iterations each run made
    const TrialDenoiser recorded = [&](Image* image, double noiseLevel, int iterations, const TrialLook& look) {
      const long before = total;
      const bool stopped = flow(image, noiseLevel, iterations, look);
      runs.push_back(total - before);
      return stopped;
    };
    const AutoSettings chosen = ChooseAutoSettings(noisy.get(), {}, recorded);
    ASSERT_EQ(runs.size() % 2, 0u);
    ASSERT_GE(runs.size(), 6u) << "the case must try three levels";
    EXPECT_EQ(chosen.trials, static_cast<int>(runs.size()));
    for (std::size_t k = 2; k < runs.size(); k += 2) {
      EXPECT_LE(runs[k], runs[k + 1] + 2 * kRedrawInterval) << "plain run " << k << " of " << runs.size();
      EXPECT_GE(runs[k], runs[k + 1]) << "a plain run " << k << " stopped short of where its risk settled";
    }
  }
}

// Where a plain run stops changes nothing chosen, whether it stopped near
// the point (a flow that settles on the noise level) or short of it (one
// that goes on gaining along it, whose pair must then run again): plain
// runs that are never stopped, their looks still made, give the same
// settings, for more work.
TEST(AutoVariance, WhereAPlainTrialStopsChangesNothingChosen) {
  const HostImagePtr clean = Picture(255.0f);
  const HostImagePtr noisy = WithNoise(clean.get(), 20.0, 6);
  for (const Image* towards : {static_cast<const Image*>(nullptr), static_cast<const Image*>(clean.get())}) {
    SCOPED_TRACE(towards ? "still gaining on the noise level" : "settled on the noise level");
    long stoppedWork = 0;
    const AutoSettings chosen = ChooseAutoSettings(noisy.get(), {}, HeldToTheRadius(towards, stoppedWork));
    long unstoppedWork = 0;
    const TrialDenoiser flow = HeldToTheRadius(towards, unstoppedWork);
    const AutoSettings reference = ChooseAutoSettings(noisy.get(), {}, [&](Image* image, double noiseLevel, int iterations,
                                                                       const TrialLook& look) {
      const bool plain = std::equal(ImagePlane(image, 0), ImagePlane(image, 0) + ImageSampleCount(image), ImagePlane(noisy.get(), 0));
      if (!plain || !look) return flow(image, noiseLevel, iterations, look);
      flow(image, noiseLevel, iterations, [&look](const Image* seen) { return look(seen) || true; });
      return false;
    });
    EXPECT_EQ(chosen.factor, reference.factor);
    EXPECT_EQ(chosen.iterations, reference.iterations);
    if (!towards) {
      EXPECT_LT(stoppedWork, unstoppedWork) << "stopping plain runs early saves no work";
    }
  }
}

// A level whose risk still fell at the end of its reach is run again for a
// longer one; its plain run then cannot judge an earlier stop (the risk was
// still falling where the last one ended) and runs to the new reach, so
// that its pair is not run twice for one reach.
TEST(AutoVariance, APlainTrialOfALongerReachRunsToItsEnd) {
  const HostImagePtr clean = Picture(255.0f);
  const HostImagePtr noisy = WithNoise(clean.get(), 20.0, 6);
  const double sigma = MeasureAutoVariance(noisy.get(), 1.0).sigma;
  const double noiseLevel = 0.65 * sigma;  // the stand-in then smooths slowly
  const TrialDenoiser flow = StandIn(sigma);
  struct PlainRun {
    int iterations;
    bool stopped;
  };
  std::vector<PlainRun> plainRuns;
  ChooseAutoSettings(noisy.get(), AutoRequest{noiseLevel, std::nullopt},
                     [&](Image* image, double level, int iterations, const TrialLook& look) {
                       const bool plain = std::equal(ImagePlane(image, 0), ImagePlane(image, 0) + ImageSampleCount(image),
                                                     ImagePlane(noisy.get(), 0));
                       const bool stopped = flow(image, level, iterations, look);
                       if (plain) plainRuns.push_back({iterations, stopped});
                       return stopped;
                     });
  ASSERT_FALSE(plainRuns.empty());
  const int firstReach = plainRuns.front().iterations;
  int longer = 0;
  for (const PlainRun& run : plainRuns) {
    if (run.iterations <= firstReach) continue;
    ++longer;
    EXPECT_FALSE(run.stopped) << "a plain run of reach " << run.iterations << " stopped early";
  }
  EXPECT_GT(longer, 0) << "the case must need a longer reach";
  EXPECT_EQ(plainRuns.size(), static_cast<std::size_t>(1 + longer)) << "a reach run twice";
}

TEST(AutoVariance, ACleanImageNeedsNoTrials) {
  HostImagePtr flat(CreateImage(64, 64, 1, 1.0f));
  int trials = 0;
  const AutoSettings level =
      ChooseAutoSettings(flat.get(), {}, [&](Image*, double, int, const TrialLook&) { return ++trials < 0; });
  EXPECT_EQ(trials, 0);
  EXPECT_EQ(level.noiseLevel, 0.0);
  EXPECT_EQ(level.iterations, 0);
  EXPECT_FALSE(NoiseIsMeasurable(flat.get(), level.sigma));
}

TEST(AutoVariance, StripsTooThinToMeasureAreSaidSo) {
  const HostImagePtr noisy = WithNoise(Picture(255.0f).get(), 10.0, 5);
  for (const std::int64_t height : {1, 3}) {
    const HostImagePtr strip = CentredPart(noisy.get(), 160);
    HostImagePtr thin(CreateImage(160, height, 1, 255.0f));
    std::copy(ImagePlane(strip.get(), 0), ImagePlane(strip.get(), 0) + 160 * height, ImagePlane(thin.get(), 0));
    EXPECT_FALSE(NoiseIsMeasurable(thin.get(), MeasureAutoVariance(thin.get(), 1.0).sigma)) << height;
  }
  EXPECT_TRUE(NoiseIsMeasurable(noisy.get(), MeasureAutoVariance(noisy.get(), 1.0).sigma));
}

TEST(AutoVariance, TrialsRunOnACentredPart) {
  HostImagePtr wide(CreateImage(900, 30, 2, 255.0f));
  for (int c = 0; c < 2; ++c) {
    float* p = ImagePlane(wide.get(), c);
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 900; ++x) p[y * 900 + x] = static_cast<float>(x + 1000 * c);
  }
  const HostImagePtr part = CentredPart(wide.get(), 512);
  ASSERT_EQ(ImageWidth(part.get()), 512);
  ASSERT_EQ(ImageHeight(part.get()), 30);
  EXPECT_EQ(ImagePlane(part.get(), 0)[0], 194.0f);
  EXPECT_EQ(ImagePlane(part.get(), 1)[29 * 512 + 511], 1000.0f + 194 + 511);
}

}  // namespace
}  // namespace calvane::app
