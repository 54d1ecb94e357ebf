#include "app/AutoVariance.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <random>

#include "app/NoiseEstimate.h"
#include "host/Image.h"
#include "hostlib/HostImage.h"

namespace calvane::app {
namespace {

// The perturbation is small next to the noise, so the flow responds to it
// about linearly, and large next to float rounding.
constexpr double kPerturbation = 0.1;

// Trials first run this many times the count the noise suggests (its level
// in time steps of the flow, scale / 1024; the best count of photographs has
// been below it), and run again twice as long when the risk still falls
// near their end.
constexpr double kCountReach = 2.0;
constexpr double kStillFallingFrom = 0.7;
// Later trials, at radii near one already tried, may run to this many times
// the best count seen; they stop on their own well before, once past it.
constexpr double kNextReach = 2.5;

// A trial stops when its risk has stayed above the least for this many
// looks and is this many count margins above it.
constexpr std::size_t kLooksPastTheLeast = 3;
constexpr double kClearlyPast = 4.0;
constexpr std::size_t kLooksToSettle = 5;
constexpr double kSettledWithin = 0.5;

// The flow holds its image within the noise level of the noisy one; a distance
// within this fraction of its level squared is on it. A plain trial stops
// once it has been on it for more than kLooksOnTheRadius looks.
constexpr double kOnTheRadius = 1e-3;
constexpr std::size_t kLooksOnTheRadius = 8;
// A plain run that foresees its risk runs this many looks past the first at
// which the foreseen risk could stop: the foresight is close, not exact, and
// a plain run stopped short costs the pair a second run.
constexpr std::size_t kLooksPastTheForeseen = 2;

// How far above the least risk a count still counts as good enough. The
// risk is a mean squared error, positive; a small floor keeps the margin
// meaningful where the estimate comes out near zero or below.
double CountMargin(double least, double variance) { return kCountTolerance * std::max(least, 0.01 * variance); }

// Follows a risk curve look by look and tells when later counts cannot
// win: when it has stayed above its least for kLooksPastTheLeast looks
// and is clearly above it, or when it has settled: stayed within half a
// count margin over kLooksToSettle looks. A risk still falling slowly,
// by a margin in a few dozen iterations, has not settled: the slow fall
// adds up.
class RiskWatch {
 public:
  explicit RiskWatch(double variance) : m_variance(variance) {}

  bool Done(double risk) {
    m_risks.push_back(risk);
    if (m_risks.size() == 1 || risk < m_least) {
      m_least = risk;
      m_since = 0;
    } else {
      ++m_since;
    }
    return Done();
  }

  bool Done() const {
    const double margin = CountMargin(m_least, m_variance);
    const bool past = m_since >= kLooksPastTheLeast && m_risks.back() > m_least + kClearlyPast * margin;
    if (past || m_risks.size() <= kLooksToSettle) return past;
    const auto recent = std::minmax_element(m_risks.end() - 1 - kLooksToSettle, m_risks.end());
    return *recent.second - *recent.first < kSettledWithin * margin;
  }

 private:
  double m_variance;
  std::vector<double> m_risks;
  std::size_t m_since = 0;
  double m_least = 0.0;
};

HostImagePtr Copy(const Image* image) { return HostImagePtr(DuplicateImage(const_cast<Image*>(image))); }

HostImagePtr StandardNormal(const Image* like, unsigned seed) {
  HostImagePtr noise(NewImage(const_cast<Image*>(like)));
  std::mt19937 rng(seed);
  std::normal_distribution<float> normal(0.0f, 1.0f);
  const std::size_t count = ImageSampleCount(like) / static_cast<std::size_t>(ImageChannels(like));
  for (int c = 0; c < ImageChannels(like); ++c) {
    float* plane = ImagePlane(noise.get(), c);
    for (std::size_t i = 0; i < count; ++i) plane[i] = normal(rng);
  }
  return noise;
}

// x . y over n samples: float sums over short runs, in lanes the compiler
// can vectorise, gathered in double.
double PlaneDot(const float* x, const float* y, std::size_t n) {
  constexpr std::size_t kLanes = 16;
  constexpr std::size_t kRun = 1024;
  double sum = 0.0;
  std::size_t i = 0;
  for (; i + kRun <= n; i += kRun) {
    float lanes[kLanes] = {};
    for (std::size_t j = 0; j < kRun; j += kLanes)
      for (std::size_t l = 0; l < kLanes; ++l) lanes[l] += x[i + j + l] * y[i + j + l];
    double run = 0.0;
    for (const float lane : lanes) run += lane;
    sum += run;
  }
  for (; i < n; ++i) sum += static_cast<double>(x[i]) * y[i];
  return sum;
}

// a . b over every sample.
double Dot(const Image* a, const Image* b) {
  double sum = 0.0;
  const std::size_t count = ImageSampleCount(a) / static_cast<std::size_t>(ImageChannels(a));
  for (int c = 0; c < ImageChannels(a); ++c) sum += PlaneDot(ImagePlane(a, c), ImagePlane(b, c), count);
  return sum;
}

// The smallest count at or above `count` that the flow redraws at.
int RedrawCountFrom(double count) {
  const int k = static_cast<int>(std::ceil((count - 1.0) / kRedrawInterval));
  return std::clamp(1 + kRedrawInterval * std::max(k, 0), kMinAutoIterations, kMaxAutoIterations);
}

// The estimated risk of the flow after each count it was looked at.
struct RiskCurve {
  std::vector<int> counts;
  std::vector<double> risks;
};

// Trial runs on the centred part, each paired with a run on the part plus
// a fixed perturbation, from which SURE follows at every redraw.
//
// The plain run goes first and cannot know the risk exactly: the term of
// the perturbed run is missing. At the first level it stops once its
// distance from the noisy image has stayed at the noise level for a while: the
// flow has then reached the ball it is held to and moves along it, and its
// risk settles. At later levels it foresees the risk, taking that term from
// the nearest level already run (the flow's divergence changes little
// between neighbouring levels), and stops a little after the foreseen risk
// could stop. The perturbed run goes no further, and gives the risk
// exactly. Should the exact curve not have settled by then, the pair runs
// again without stopping early on the plain run. Either way the curve is
// the same: the exact one up to where it has settled.
class Trials {
 public:
  Trials(const Image* work, double sigma, const TrialDenoiser& denoise)
      : m_part(CentredPart(work, kTrialSide)),
        m_direction(StandardNormal(m_part.get(), 2024)),
        m_perturbed(Copy(m_part.get())),
        m_sigma(sigma),
        m_epsilon(kPerturbation * sigma),
        m_denoise(denoise) {
    AddImage(m_perturbed.get(), m_direction.get(), static_cast<float>(m_epsilon));
  }

  const Image* Part() const { return m_part.get(); }
  int Runs() const { return m_runs; }

  // The risk at every redraw up to `iterations`. With `stopEarly` the runs
  // stop once the risk has settled or is clearly past its least, where
  // later counts cannot win; with `stopPlainEarly` too, the plain run stops
  // where it judges that to be (which costs a second pair of runs when it
  // judges too early).
  RiskCurve Curve(double noiseLevel, int iterations, bool stopEarly, bool stopPlainEarly) {
    std::vector<double> residual;
    std::vector<double> plain;
    const double samples = static_cast<double>(ImageSampleCount(m_part.get()));
    const double variance = m_sigma * m_sigma;
    const double onTheRadius = (1.0 - kOnTheRadius) * noiseLevel * noiseLevel;
    std::size_t looksOnTheRadius = 0;
    const std::vector<double>* known = stopPlainEarly ? NearestDivergences(noiseLevel) : nullptr;
    RiskWatch foreseen(variance);
    std::size_t looksForeseenDone = 0;
    const bool plainStopped = Run(m_part.get(), noiseLevel, iterations, stopEarly, [&](const Image* image) {
      residual.push_back(ImageDiffEnergy(const_cast<Image*>(image), m_part.get()));
      plain.push_back(Dot(m_direction.get(), image));
      if (!stopPlainEarly) return true;
      if (known != nullptr) {
        const double divergence = (*known)[std::min(residual.size(), known->size()) - 1];
        const double risk = residual.back() - variance + 2.0 * variance * divergence / samples;
        if (foreseen.Done(risk) || looksForeseenDone > 0) ++looksForeseenDone;
        return looksForeseenDone <= kLooksPastTheForeseen;
      }
      looksOnTheRadius = residual.back() >= onTheRadius ? looksOnTheRadius + 1 : 0;
      return looksOnTheRadius <= kLooksOnTheRadius;
    });
    // A stopped plain run last looked at a redraw: the perturbed one runs
    // to the same count.
    const int end = plainStopped ? 1 + kRedrawInterval * static_cast<int>(residual.size() - 1) : iterations;
    RiskCurve curve;
    RiskWatch watch(variance);
    std::vector<double> divergences;
    std::size_t look = 0;
    Run(m_perturbed.get(), noiseLevel, end, stopEarly, [&](const Image* image) {
      const std::size_t k = look++;
      if (k >= residual.size()) return false;
      // The last look is the end of the run, which is also the last redraw
      // when the count falls on one.
      const int count = k + 1 == residual.size() ? end : 1 + kRedrawInterval * static_cast<int>(k);
      if (!curve.counts.empty() && count <= curve.counts.back()) return true;
      const double divergence = (Dot(m_direction.get(), image) - plain[k]) / m_epsilon;
      divergences.push_back(divergence);
      const double risk = residual[k] - variance + 2.0 * variance * divergence / samples;
      curve.counts.push_back(count);
      curve.risks.push_back(risk);
      return !(stopEarly && watch.Done(risk));
    });
    if (plainStopped && !watch.Done()) return Curve(noiseLevel, iterations, stopEarly, false);
    // Only looks at the redraws are known by their place; a run's end off
    // the cadence is not one.
    if (!plainStopped && !divergences.empty() && (end - 1) % kRedrawInterval != 0) divergences.pop_back();
    if (!divergences.empty()) m_divergences[noiseLevel] = std::move(divergences);
    return curve;
  }

 private:
  // The divergence at every redraw of the level run nearest to `noiseLevel`;
  // none before the first.
  const std::vector<double>* NearestDivergences(double noiseLevel) const {
    const std::vector<double>* nearest = nullptr;
    double distance = 0.0;
    for (const auto& [level, divergences] : m_divergences) {
      if (nearest == nullptr || std::fabs(level - noiseLevel) < distance) {
        nearest = &divergences;
        distance = std::fabs(level - noiseLevel);
      }
    }
    return nearest;
  }

  // Denoises a copy of `start`, looking at it at the end and, when
  // `atRedraws`, at every redraw, where a look may stop it. Returns whether
  // a look stopped it.
  bool Run(const Image* start, double noiseLevel, int iterations, bool atRedraws, const TrialLook& look) {
    const HostImagePtr image = Copy(start);
    const bool stopped = m_denoise(image.get(), noiseLevel, iterations, atRedraws ? look : TrialLook());
    ++m_runs;
    if (!stopped) look(image.get());
    return stopped;
  }

  HostImagePtr m_part;
  HostImagePtr m_direction;
  HostImagePtr m_perturbed;
  double m_sigma;
  double m_epsilon;
  const TrialDenoiser& m_denoise;
  int m_runs = 0;
  std::map<double, std::vector<double>> m_divergences;  // by noise level
};

// The smallest count whose risk is within kCountTolerance of the least.
int EnoughIterations(const RiskCurve& curve, double variance) {
  const double least = *std::min_element(curve.risks.begin(), curve.risks.end());
  const double margin = CountMargin(least, variance);
  for (std::size_t k = 0; k < curve.counts.size(); ++k) {
    if (curve.risks[k] <= least + margin) return curve.counts[k];
  }
  return curve.counts.back();
}

// The least risk of the flow at one noise level over every count up to the
// reach, and the count that reaches it.
struct BestCount {
  double risk = 0.0;
  int iterations = 0;
};

class CountSearch {
 public:
  CountSearch(Trials& trials, double sigma) : m_trials(trials), m_variance(sigma * sigma) {
    const double scale = GetScale(const_cast<Image*>(trials.Part()));
    m_reach = RedrawCountFrom(kCountReach * sigma / (scale / 1024.0));
  }

  // Runs the trials at the noise level far enough to see the risk stop falling
  // by more than the count margin.
  BestCount At(double noiseLevel) {
    for (bool longer = false;;) {
      // A level run again for a longer reach was still falling at the end
      // of the last: its plain run cannot judge an earlier stop.
      const RiskCurve curve = m_trials.Curve(noiseLevel, m_reach, true, !longer);
      longer = true;
      const int enough = EnoughIterations(curve, m_variance);
      if (enough < kStillFallingFrom * m_reach || m_reach >= kMaxAutoIterations) {
        // Radii near this one need about as many: later trials need not run
        // much past it.
        m_reach = std::max(RedrawCountFrom(kNextReach * enough), RedrawCountFrom(kMinAutoIterations * 4.0));
        return {*std::min_element(curve.risks.begin(), curve.risks.end()), enough};
      }
      m_reach = RedrawCountFrom(2.0 * m_reach);
    }
  }

 private:
  Trials& m_trials;
  double m_variance;
  int m_reach;
};

// Walks the grid of factors from the default towards lower risk; `riskAt`
// gives the risk of a factor. The risk is about convex in the factor: look
// at both neighbours of the default, then walk downhill until it rises or
// the grid ends.
double ChooseFactor(const std::function<double(double)>& riskAt) {
  constexpr double kEdge = kAutoVarianceFactorStep / 2;
  double best = kDefaultAutoVarianceFactor;
  double lowestRisk = riskAt(best);
  const double below = riskAt(best - kAutoVarianceFactorStep);
  const double above = riskAt(best + kAutoVarianceFactorStep);
  const double step = below < above ? -kAutoVarianceFactorStep : kAutoVarianceFactorStep;
  double next = best + step;
  double risk = std::min(below, above);
  while (risk < lowestRisk) {
    best = next;
    lowestRisk = risk;
    next = best + step;
    if (next < kMinAutoVarianceFactor - kEdge || next > kMaxAutoVarianceFactor + kEdge) break;
    risk = riskAt(next);
  }
  return best;
}

}  // namespace

HostImagePtr CentredPart(const Image* image, std::int64_t side) {
  const std::int64_t width = std::min(ImageWidth(image), side);
  const std::int64_t height = std::min(ImageHeight(image), side);
  return ImagePart(image, (ImageWidth(image) - width) / 2, (ImageHeight(image) - height) / 2, width, height);
}

HostImagePtr ImagePart(const Image* image, std::int64_t left, std::int64_t top, std::int64_t width, std::int64_t height) {
  HostImagePtr part(CreateImage(width, height, ImageChannels(image), GetScale(const_cast<Image*>(image))));
  SetImageChannelCoupling(part.get(), ImageChannelCoupling(image));
  for (int c = 0; c < ImageChannels(image); ++c) {
    const float* in = ImagePlane(image, c);
    float* out = ImagePlane(part.get(), c);
    for (std::int64_t y = 0; y < height; ++y) {
      std::memcpy(out + y * width, in + (top + y) * ImageWidth(image) + left, static_cast<std::size_t>(width) * sizeof(float));
    }
  }
  return part;
}

double SteinRiskEstimate(const Image* noisy, const Image* denoised, const Image* perturbedDenoised,
                         const Image* direction, double epsilon, double sigma) {
  const double samples = static_cast<double>(ImageSampleCount(noisy));
  const double residual = ImageDiffEnergy(const_cast<Image*>(denoised), const_cast<Image*>(noisy));
  // Monte-Carlo divergence: direction . (f(y + e d) - f(y)) / e.
  const double divergence = (Dot(direction, perturbedDenoised) - Dot(direction, denoised)) / epsilon;
  return residual - sigma * sigma + 2.0 * sigma * sigma * divergence / samples;
}

bool NoiseIsMeasurable(const Image* image, double sigma) {
  return ImageWidth(image) >= kLeastMeasurableSide && ImageHeight(image) >= kLeastMeasurableSide &&
         sigma > kLeastMeasurableNoise * GetScale(const_cast<Image*>(image));
}

AutoSettings MeasureAutoVariance(const Image* work, double factor) {
  AutoSettings result;
  result.sigma = EstimateImageNoise(work);
  result.factor = factor;
  result.noiseLevel = factor * result.sigma;
  return result;
}

AutoSettings ChooseAutoSettings(const Image* work, const AutoRequest& request, const TrialDenoiser& denoise) {
  AutoSettings result = MeasureAutoVariance(work, kDefaultAutoVarianceFactor);
  if (request.noiseLevel) result.noiseLevel = *request.noiseLevel;
  if (request.iterations) result.iterations = *request.iterations;
  if (!NoiseIsMeasurable(work, result.sigma) || (request.noiseLevel && request.iterations)) return result;

  Trials trials(work, result.sigma, denoise);
  if (request.iterations) {
    // The count is given: each factor is judged at its end.
    result.factor = ChooseFactor([&](double factor) {
      return trials.Curve(factor * result.sigma, result.iterations, false, false).risks.back();
    });
  } else {
    // Level and count together: each factor at its own best count, since
    // a level the flow seldom reaches leaves the count to do the work.
    CountSearch counts(trials, result.sigma);
    std::map<double, BestCount> seen;
    const auto bestAt = [&](double noiseLevel) {
      auto found = seen.find(noiseLevel);
      if (found == seen.end()) found = seen.emplace(noiseLevel, counts.At(noiseLevel)).first;
      return found->second;
    };
    if (!request.noiseLevel) {
      result.factor = ChooseFactor([&](double factor) { return bestAt(factor * result.sigma).risk; });
    }
    const double noiseLevel = request.noiseLevel ? *request.noiseLevel : result.factor * result.sigma;
    result.iterations = bestAt(noiseLevel).iterations;
  }
  if (!request.noiseLevel) result.noiseLevel = result.factor * result.sigma;
  result.trials = trials.Runs();
  return result;
}

}  // namespace calvane::app
