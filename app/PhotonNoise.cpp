#include "app/PhotonNoise.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "hostlib/HostImage.h"

namespace calvane::app {
namespace {

// ---------------------------------------------------------------------------
// The noise-level fit.
//
// The samples are cut into patches of 8x8. In each, a quadratic surface
// a + b x + c y + d x^2 + e x y + f y^2 is fitted by least squares; the
// patch's local mean is the mean of its samples, and its local noise
// variance the residual sum of squares over 64 - 6 = 58. For white noise
// that is unbiased whatever the quadratic, so gradients and gentle
// curvature leave it alone; and a variance that is linear in a smooth
// signal comes out as the variance at the patch's mean (the residual's
// weights are symmetric about the centre). Its 58 degrees of freedom are
// more than three times those of the mean square of the 64 overlapping
// high-pass coefficients of a patch, which share samples (about 17).
//
// A patch holding an edge, a line or texture leaves a residual that is
// smooth rather than white: neighbouring residuals agree. Patches whose
// residual correlates between neighbours by more than kMostCorrelation are
// not smooth and are left out. For Gaussian noise the residual's direction
// (and so its correlation) is independent of its length, so this choice
// does not bias the variances kept.
//
// The patches are sorted by mean into bins of equal count; each bin gives a
// variance (the mean of its patches' variances, after discarding patches
// above kOutlierRatio times the bin's level: structure that slipped through)
// and the line is fitted to the bins by weighted least squares, weights the
// inverse variance of each bin's estimate. A second pass repeats this
// without the patches that lie within a few standard deviations (as the
// first line predicts them) of a level the data are clipped at.
// ---------------------------------------------------------------------------

constexpr int kPatch = 8;
constexpr int kPatchSamples = kPatch * kPatch;
constexpr int kSurfaceTerms = 6;

// On white noise the correlation of neighbouring residuals (112 pairs) is
// about -0.08 (the fitted surface takes up some of the noise) with a
// standard deviation of about 0.09; 1.6% of noise-only patches lie above
// 0.1, and are lost to the fit without biasing it. Fine stripes twice as
// strong as the noise exceed it in nine patches out of ten; an edge whose
// step is five times the noise, in six out of ten (stronger ones fall to
// kOutlierRatio).
constexpr double kMostCorrelation = 0.1;
// The residual variance of a noise-only patch is a chi-square of 58 degrees
// of freedom over 58, of standard deviation 0.19 (for photon noise of a
// fraction of a photon, 0.3 and a longer tail): 2.5 times the level is
// beyond reach of all but the odd noise-only patch, while a hot pixel or a
// strong edge takes a patch past it.
constexpr double kOutlierRatio = 2.5;
// Patches closer to a clip level than this many noise standard deviations
// are not used: at 2.5, 0.6% of the noise reaches the level, and clipping
// it takes 0.2% from the variance.
constexpr double kClipMargin = 2.5;

constexpr std::size_t kMinPatches = 48;
constexpr std::size_t kPatchesPerBin = 40;
constexpr std::size_t kMinBins = 3;
constexpr std::size_t kMaxBins = 16;

// Noise this far below the signal (relative standard deviation) is float
// rounding, not noise: float samples are rounded to within 6e-8 of their
// value, which gives about 2e-8.
constexpr double kLeastRelativeNoise = 1e-6;

// The three least distinct values of a stream of samples and how often
// each occurs.
class LeastValues {
 public:
  void Add(double v) {
    if (used_ == 3 && v > value_[2]) return;
    for (int i = 0; i < used_; ++i) {
      if (v == value_[i]) {
        ++count_[i];
        return;
      }
      if (v < value_[i]) {
        for (int j = std::min(used_, 2); j > i; --j) {
          value_[j] = value_[j - 1];
          count_[j] = count_[j - 1];
        }
        value_[i] = v;
        count_[i] = 1;
        used_ = std::min(used_ + 1, 3);
        return;
      }
    }
    value_[used_] = v;
    count_[used_] = 1;
    ++used_;
  }

  // A clip level shows as a spike: the least value is far more common than
  // the next one, while the histogram just beyond it is flat or rising, as
  // the smooth tail of noise around a signal is. Photon counts near zero
  // fall steeply instead (a Poisson law of mean m has P(1)/P(2) = 2/m), so
  // the many zeros of dark photon data are not taken for clipping, unless
  // dim and dark parts mix so that the counts of 1 and 2 look flat; then the
  // darkest patches are left out, and the fit rests on the others.
  bool IsClipLevel(std::size_t total) const {
    if (used_ < 3) return false;
    const double share = static_cast<double>(count_[0]) / static_cast<double>(total);
    return share >= 1e-3 && count_[0] >= 2 * count_[1] && count_[1] <= 2 * count_[2];
  }

  double Least() const { return value_[0]; }

 private:
  std::array<double, 3> value_{};
  std::array<std::size_t, 3> count_{};
  int used_ = 0;
};

struct ClipLevels {
  bool low = false, high = false;
  double lowLevel = 0, highLevel = 0;
};

ClipLevels FindClipLevels(const float* samples, std::size_t count) {
  LeastValues least, greatest;
  std::size_t finite = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const double v = samples[i];
    if (!std::isfinite(v)) continue;
    ++finite;
    least.Add(v);
    greatest.Add(-v);
  }
  ClipLevels clip;
  clip.low = least.IsClipLevel(finite);
  clip.lowLevel = least.Least();
  clip.high = greatest.IsClipLevel(finite);
  clip.highLevel = -greatest.Least();
  return clip;
}

struct PatchStats {
  double mean = 0;      // of the patch's samples
  double variance = 0;  // of the residual from the fitted quadratic
};

// An orthonormal basis of the quadratics on a patch, by Gram-Schmidt on
// 1, x, y, x^2, x y, y^2 (x and y centred).
using PatchVector = std::array<double, kPatchSamples>;
const std::array<PatchVector, kSurfaceTerms>& SurfaceBasis() {
  static const std::array<PatchVector, kSurfaceTerms> basis = [] {
    std::array<PatchVector, kSurfaceTerms> q{};
    for (int t = 0; t < kSurfaceTerms; ++t) {
      PatchVector& v = q[static_cast<std::size_t>(t)];
      for (int k = 0; k < kPatchSamples; ++k) {
        const double x = k % kPatch - (kPatch - 1) / 2.0;
        const double y = k / kPatch - (kPatch - 1) / 2.0;
        const double monomials[kSurfaceTerms] = {1.0, x, y, x * x, x * y, y * y};
        v[static_cast<std::size_t>(k)] = monomials[t];
      }
      for (int u = 0; u < t; ++u) {
        const PatchVector& w = q[static_cast<std::size_t>(u)];
        double dot = 0;
        for (int k = 0; k < kPatchSamples; ++k) dot += v[static_cast<std::size_t>(k)] * w[static_cast<std::size_t>(k)];
        for (int k = 0; k < kPatchSamples; ++k) v[static_cast<std::size_t>(k)] -= dot * w[static_cast<std::size_t>(k)];
      }
      double norm = 0;
      for (double e : v) norm += e * e;
      norm = std::sqrt(norm);
      for (double& e : v) e /= norm;
    }
    return q;
  }();
  return basis;
}

// The smooth patches: finite, and without edges, lines or texture.
std::vector<PatchStats> MeasurePatches(const float* s, std::int64_t width, std::int64_t height) {
  const std::int64_t across = width / kPatch;
  const std::int64_t down = height / kPatch;
  const auto& basis = SurfaceBasis();
  std::vector<PatchStats> patches;
  patches.reserve(static_cast<std::size_t>(across * down));
  PatchVector residual;
  for (std::int64_t j = 0; j < down; ++j) {
    for (std::int64_t i = 0; i < across; ++i) {
      const float* corner = s + j * kPatch * width + i * kPatch;
      PatchStats patch;
      double sum = 0;
      for (int y = 0; y < kPatch; ++y) {
        for (int x = 0; x < kPatch; ++x) {
          const float v = corner[y * width + x];
          residual[static_cast<std::size_t>(y * kPatch + x)] = v;
          sum += v;
        }
      }
      patch.mean = sum / kPatchSamples;
      // A sample that is not finite leaves the patch out.
      if (!std::isfinite(patch.mean)) continue;
      // The mean first, so that large samples with little noise keep their
      // precision; then the rest of the surface.
      for (double& r : residual) r -= patch.mean;
      for (std::size_t t = 1; t < basis.size(); ++t) {
        double dot = 0;
        for (std::size_t k = 0; k < residual.size(); ++k) dot += residual[k] * basis[t][k];
        for (std::size_t k = 0; k < residual.size(); ++k) residual[k] -= dot * basis[t][k];
      }
      double squares = 0, neighbours = 0;
      for (int y = 0; y < kPatch; ++y) {
        for (int x = 0; x < kPatch; ++x) {
          const double r = residual[static_cast<std::size_t>(y * kPatch + x)];
          squares += r * r;
          if (x + 1 < kPatch) neighbours += r * residual[static_cast<std::size_t>(y * kPatch + x + 1)];
          if (y + 1 < kPatch) neighbours += r * residual[static_cast<std::size_t>((y + 1) * kPatch + x)];
        }
      }
      patch.variance = squares / (kPatchSamples - kSurfaceTerms);
      // 2 * 8 * 7 neighbouring pairs against 64 squares.
      constexpr double kPairsPerSquare = 64.0 / 112.0;
      if (neighbours * kPairsPerSquare > kMostCorrelation * squares) continue;
      patches.push_back(patch);
    }
  }
  return patches;
}

double Predicted(const NoiseLevelFunction& nlf, double signal) { return nlf.gain * signal + nlf.offset; }

// The patches farther from the clip levels than kClipMargin standard
// deviations of the noise `nlf` predicts there (a patch all at a level is
// not, whatever the line predicts). When too few are left to fit, the
// levels are no clipping but the bulk of the data (the zeros of a dim
// photon picture, whose counts of 1 and 2 can mix into a flat histogram):
// they are dropped from `clip`, and every patch is kept.
std::vector<PatchStats> ClearOfClipLevels(const std::vector<PatchStats>& patches, ClipLevels& clip,
                                          const NoiseLevelFunction& nlf) {
  std::vector<PatchStats> clear;
  for (const PatchStats& patch : patches) {
    const double margin = kClipMargin * std::sqrt(std::max(Predicted(nlf, patch.mean), 0.0));
    if (clip.low && patch.mean - clip.lowLevel <= margin) continue;
    if (clip.high && clip.highLevel - patch.mean <= margin) continue;
    clear.push_back(patch);
  }
  if (clear.size() >= kMinPatches) return clear;
  clip = ClipLevels{};
  return patches;
}

struct Bin {
  double signal = 0;
  double variance = 0;
  std::size_t count = 0;
};

// `chosen` sorted by mean.
std::vector<Bin> BinPatches(const std::vector<PatchStats>& chosen) {
  const std::size_t n = chosen.size();
  const std::size_t bins = std::clamp(n / kPatchesPerBin, kMinBins, kMaxBins);
  std::vector<Bin> result;
  std::vector<double> variances;
  for (std::size_t b = 0; b < bins; ++b) {
    const std::size_t first = b * n / bins;
    const std::size_t last = (b + 1) * n / bins;
    if (last <= first) continue;
    variances.clear();
    for (std::size_t k = first; k < last; ++k) variances.push_back(chosen[k].variance);
    const auto middle = variances.begin() + static_cast<std::ptrdiff_t>(variances.size() / 2);
    std::nth_element(variances.begin(), middle, variances.end());
    double level = *middle;
    Bin bin;
    // The mean of the patches below the cut, with the cut set from the
    // median first, then from that mean.
    for (int pass = 0; pass < 3; ++pass) {
      double sumVariance = 0, sumSignal = 0;
      std::size_t kept = 0;
      for (std::size_t k = first; k < last; ++k) {
        if (chosen[k].variance > kOutlierRatio * level) continue;
        sumVariance += chosen[k].variance;
        sumSignal += chosen[k].mean;
        ++kept;
      }
      if (kept == 0) break;
      level = sumVariance / static_cast<double>(kept);
      bin.variance = level;
      bin.signal = sumSignal / static_cast<double>(kept);
      bin.count = kept;
    }
    if (bin.count > 0) result.push_back(bin);
  }
  return result;
}

// Weighted least squares of variance = gain * signal + offset over the bins,
// gain held at 0 or above: photon noise never shrinks as the signal grows.
// A bin's estimate is the mean of `count` patch variances, each of relative
// standard deviation sqrt(2 / 58) on Gaussian noise, so its variance is
// about 2 v^2 / (58 count), v the variance there: the weights are
// count / v^2, v first as measured, then as the line predicts it (which
// keeps a bin that came out low by chance from pulling the line to itself).
NoiseLevelFunction FitLine(const std::vector<Bin>& bins) {
  NoiseLevelFunction nlf;
  double largest = 0;
  for (const Bin& bin : bins) largest = std::max(largest, bin.variance);
  if (!(largest > 0)) return nlf;
  std::vector<double> predicted(bins.size());
  for (std::size_t b = 0; b < bins.size(); ++b) predicted[b] = bins[b].variance;
  std::vector<double> weights(bins.size());
  for (int pass = 0; pass < 4; ++pass) {
    double sw = 0, sx = 0, sy = 0;
    for (std::size_t b = 0; b < bins.size(); ++b) {
      // Relative to the largest, so that no scale of the samples overflows;
      // a bin of no variance at all counts as one of a millionth of it.
      const double v = std::max(predicted[b] / largest, 1e-6);
      weights[b] = static_cast<double>(bins[b].count) / (v * v);
      sw += weights[b];
      sx += weights[b] * bins[b].signal;
      sy += weights[b] * bins[b].variance;
    }
    const double meanX = sx / sw;
    const double meanY = sy / sw;
    // The spread of the signals about their weighted mean, and their
    // covariance with the variances.
    double spread = 0, covariance = 0;
    for (std::size_t b = 0; b < bins.size(); ++b) {
      spread += weights[b] * (bins[b].signal - meanX) * (bins[b].signal - meanX);
      covariance += weights[b] * (bins[b].signal - meanX) * (bins[b].variance - meanY);
    }
    // Signals all alike (a flat field; alike but for rounding of the mean):
    // no slope can be measured.
    const bool flat = !(spread > sw * std::pow(1e-9 * meanX, 2));
    nlf.gain = flat ? 0.0 : std::max(covariance / spread, 0.0);
    nlf.offset = meanY - nlf.gain * meanX;
    for (std::size_t b = 0; b < bins.size(); ++b) predicted[b] = Predicted(nlf, bins[b].signal);
  }
  return nlf;
}

double Percentile(std::vector<double> values, double p) {
  const auto at = values.begin() + static_cast<std::ptrdiff_t>(p * static_cast<double>(values.size() - 1));
  std::nth_element(values.begin(), at, values.end());
  return *at;
}

}  // namespace

NoiseLevelFit FitNoiseLevelFunction(const float* samples, std::int64_t width, std::int64_t height) {
  NoiseLevelFit fit;
  if (samples == nullptr || width < kPatch || height < kPatch) return fit;
  if (width > std::numeric_limits<std::int64_t>::max() / height) return fit;
  const std::size_t count = static_cast<std::size_t>(width * height);
  ClipLevels clip = FindClipLevels(samples, count);
  const std::vector<PatchStats> patches = MeasurePatches(samples, width, height);

  // First from every smooth patch; then again from those clear of the clip
  // levels, as the first line sees the noise there.
  std::vector<PatchStats> chosen = patches;
  NoiseLevelFunction nlf;
  for (int pass = 0; pass < 2; ++pass) {
    if (pass > 0) chosen = ClearOfClipLevels(patches, clip, nlf);
    if (chosen.size() < kMinPatches) return NoiseLevelFit{};
    std::sort(chosen.begin(), chosen.end(),
              [](const PatchStats& a, const PatchStats& b) { return a.mean < b.mean; });
    nlf = FitLine(BinPatches(chosen));
  }

  std::vector<double> means(chosen.size());
  for (std::size_t k = 0; k < chosen.size(); ++k) means[k] = chosen[k].mean;
  fit.lowSignal = Percentile(means, 0.05);
  fit.highSignal = Percentile(means, 0.95);
  fit.patches = chosen.size();
  const double peakVariance = std::max(Predicted(nlf, fit.lowSignal), Predicted(nlf, fit.highSignal));
  const double magnitude = std::max(std::fabs(fit.lowSignal), std::fabs(fit.highSignal));
  const double leastVariance = std::pow(kLeastRelativeNoise * magnitude, 2);
  if (!std::isfinite(nlf.gain) || !std::isfinite(nlf.offset) || !(peakVariance > leastVariance) ||
      !(peakVariance > std::numeric_limits<double>::min())) {
    return NoiseLevelFit{};
  }
  fit.nlf = nlf;
  fit.valid = true;
  return fit;
}

// Photon noise calls for the transform when its standard deviation changes
// across the picture by more than a quarter: a single noise level for the
// whole picture is then more than about 12% off at one end or the other,
// enough to leave the bright parts noisy and flatten the dark ones, while
// within a quarter one level serves well enough. Noise of one level (and
// Gaussian noise whose clipped ends the fit leaves out) fits a ratio within
// a few percent of 1, far below the threshold.
bool IsSignalDependent(const NoiseLevelFit& fit) {
  constexpr double kRatio = 1.25;
  if (!fit.valid || !(fit.nlf.gain > 0)) return false;
  const double low = Predicted(fit.nlf, fit.lowSignal);
  const double high = Predicted(fit.nlf, fit.highSignal);
  if (!(high > 0)) return false;
  if (!(low > 0)) return true;  // from no noise at all to some
  return high > kRatio * kRatio * low;
}

namespace {

// ---------------------------------------------------------------------------
// The transform.
//
// In counts (normalised units) the data are z = K + N, K Poisson of mean
// lambda and N Gaussian of variance sigma^2:
//   offset >= 0: z = x / gain, sigma^2 = offset / gain^2;
//   offset < 0:  z = (x - p) / gain, p = -offset / gain the pedestal, and
//                sigma = 0 (pure photon noise above the pedestal).
// In both, f(x) = 2 * sqrt(max(z + 3/8 + sigma^2, 0)), so the transform
// and its inverse agree in the file's units.
// ---------------------------------------------------------------------------

void Require(const NoiseLevelFunction& nlf) {
  if (!(nlf.gain > 0) || !std::isfinite(nlf.gain) || !std::isfinite(nlf.offset)) {
    throw std::invalid_argument("the noise-level function needs a positive gain and a finite offset (gain " +
                                std::to_string(nlf.gain) + ", offset " + std::to_string(nlf.offset) + ")");
  }
}

double SigmaOf(const NoiseLevelFunction& nlf) { return std::sqrt(std::max(nlf.offset, 0.0)) / nlf.gain; }
// The signal of zero photons, in the file's units.
double PedestalOf(const NoiseLevelFunction& nlf) { return std::max(-nlf.offset, 0.0) / nlf.gain; }

// Gauss-Legendre nodes and weights on [-1, 1].
struct GaussLegendre {
  static constexpr int kNodes = 32;
  std::array<double, kNodes> node{}, weight{};
  GaussLegendre() {
    const double pi = std::acos(-1.0);
    for (int i = 0; i < kNodes; ++i) {
      double x = std::cos(pi * (i + 0.75) / (kNodes + 0.5));
      double derivative = 1;
      for (int iteration = 0; iteration < 100; ++iteration) {
        double p0 = 1, p1 = x;
        for (int k = 2; k <= kNodes; ++k) {
          const double p2 = ((2.0 * k - 1.0) * x * p1 - (k - 1.0) * p0) / k;
          p0 = p1;
          p1 = p2;
        }
        derivative = kNodes * (x * p1 - p0) / (x * x - 1.0);
        const double step = p1 / derivative;
        x -= step;
        if (std::fabs(step) < 1e-16) break;
      }
      node[static_cast<std::size_t>(i)] = x;
      weight[static_cast<std::size_t>(i)] = 2.0 / ((1.0 - x * x) * derivative * derivative);
    }
  }
};

const GaussLegendre& Quadrature() {
  static const GaussLegendre quadrature;
  return quadrature;
}

// E[2 sqrt(max(a + sigma T, 0))], T standard normal. With u = sqrt(a + sigma t)
// the integrand (4 / sigma) u^2 phi((u^2 - a) / sigma) is smooth (the square
// root's kink is gone), and Gauss-Legendre on a few panels of the range
// t in [-9, 9] (phi beyond is below 1e-18) integrates it to rounding.
double GaussianMeanOfRoot(double a, double sigma) {
  if (sigma == 0) return 2.0 * std::sqrt(std::max(a, 0.0));
  constexpr double kReach = 9.0;
  constexpr int kPanels = 4;
  const double from = std::sqrt(std::max(a - kReach * sigma, 0.0));
  const double to = std::sqrt(std::max(a + kReach * sigma, 0.0));
  if (!(to > from)) return 0.0;
  const GaussLegendre& q = Quadrature();
  const double panel = (to - from) / kPanels;
  const double inverseRoot2Pi = 1.0 / std::sqrt(2.0 * std::acos(-1.0));
  double sum = 0;
  for (int p = 0; p < kPanels; ++p) {
    const double centre = from + (p + 0.5) * panel;
    for (int i = 0; i < GaussLegendre::kNodes; ++i) {
      const double u = centre + 0.5 * panel * q.node[static_cast<std::size_t>(i)];
      const double t = (u * u - a) / sigma;
      sum += q.weight[static_cast<std::size_t>(i)] * u * u * std::exp(-0.5 * t * t);
    }
  }
  return sum * 0.5 * panel * 4.0 / sigma * inverseRoot2Pi;
}

// E[2 sqrt(max(K + N + 3/8 + sigma^2, 0))] for K Poisson of mean lambda:
// the sum over k of the Poisson law times `perCount(k)`, walked out from the
// mode until the terms no longer count.
template <typename PerCount>
double PoissonMean(double lambda, const PerCount& perCount) {
  if (lambda <= 0) return perCount(0);
  const double mode = std::floor(lambda);
  const double logAtMode = mode * std::log(lambda) - lambda - std::lgamma(mode + 1.0);
  const double atMode = std::exp(logAtMode);
  const auto modeIndex = static_cast<std::size_t>(mode);
  double sum = atMode * perCount(modeIndex);
  double term = atMode;
  for (std::size_t k = modeIndex + 1;; ++k) {
    term *= lambda / static_cast<double>(k);
    sum += term * perCount(k);
    if (term < 1e-17 * atMode && static_cast<double>(k) > lambda) break;
  }
  term = atMode;
  for (std::size_t k = modeIndex; k > 0; --k) {
    term *= static_cast<double>(k) / lambda;
    sum += term * perCount(k - 1);
    if (term < 1e-17 * atMode) break;
  }
  return sum;
}

// The expected transformed value against lambda on a geometric grid, for
// one sigma, and its inverse by interpolation. The grid's ratio 1.01 keeps
// linear interpolation within about 1e-5 of lambda (the curve bends by a
// relative (ratio - 1)^2 / 16 between nodes where it is steepest in
// relative terms); the tests hold it to 1e-4.
class ExpectationTable {
 public:
  static constexpr double kLeastLambda = 1e-4;
  static constexpr double kGreatestLambda = 1000.0;
  static constexpr double kRatio = 1.01;

  explicit ExpectationTable(double sigma) : sigma_(sigma) {
    const double shift = 0.375 + sigma * sigma;
    const auto greatestCount = static_cast<std::size_t>(kGreatestLambda + 40.0 * std::sqrt(kGreatestLambda) + 60.0);
    std::vector<double> perCount(greatestCount + 1);
    for (std::size_t k = 0; k <= greatestCount; ++k) {
      perCount[k] = GaussianMeanOfRoot(static_cast<double>(k) + shift, sigma);
    }
    const auto lookUp = [&](std::size_t k) {
      return k < perCount.size() ? perCount[k] : GaussianMeanOfRoot(static_cast<double>(k) + shift, sigma_);
    };
    Append(0.0, PoissonMean(0.0, lookUp));
    for (double lambda = kLeastLambda; lambda < kGreatestLambda * kRatio; lambda *= kRatio) {
      Append(lambda, PoissonMean(lambda, lookUp));
    }
  }

  // The lambda whose expected transformed value is d; 0 below the value of
  // lambda = 0 (no mean signal gives less: the signal cannot be negative).
  double Inverse(double d) const {
    if (std::isnan(d)) return d;
    if (d <= expectation_.front()) return 0.0;
    // Beyond the table: the expansion of the mean of the root to second
    // order. At the table's end it already agrees with the summed
    // expectation to about 1e-11 of lambda.
    if (d >= expectation_.back()) return d * d / 4.0 - 0.125 - sigma_ * sigma_;
    const auto above = std::upper_bound(expectation_.begin(), expectation_.end(), d);
    const auto i = static_cast<std::size_t>(above - expectation_.begin());
    const double t = (d - expectation_[i - 1]) / (expectation_[i] - expectation_[i - 1]);
    return lambda_[i - 1] + t * (lambda_[i] - lambda_[i - 1]);
  }

 private:
  // Only strictly rising values, which the search needs. Read noise of
  // 1e5 photons and more flattens the curve near zero photons below double
  // rounding, and the sums there wobble by a unit in the last place.
  void Append(double lambda, double expectation) {
    if (!expectation_.empty() && !(expectation > expectation_.back())) return;
    lambda_.push_back(lambda);
    expectation_.push_back(expectation);
  }

  double sigma_;
  std::vector<double> lambda_, expectation_;
};

// Tables are built once per sigma (a few milliseconds) and kept; a program
// sees one or a few. The cache is bounded, so that a caller cycling through
// many functions does not grow it without end.
std::shared_ptr<const ExpectationTable> TableFor(double sigma) {
  static std::mutex mutex;
  static std::map<double, std::shared_ptr<const ExpectationTable>> tables;
  constexpr std::size_t kMostTables = 32;
  std::lock_guard<std::mutex> lock(mutex);
  const auto found = tables.find(sigma);
  if (found != tables.end()) return found->second;
  if (tables.size() >= kMostTables) tables.clear();
  auto table = std::make_shared<const ExpectationTable>(sigma);
  tables.emplace(sigma, table);
  return table;
}

}  // namespace

double StabilisedValue(double x, const NoiseLevelFunction& nlf) {
  Require(nlf);
  const double g = nlf.gain;
  return 2.0 / g * std::sqrt(std::max(g * x + 0.375 * g * g + nlf.offset, 0.0));
}

double AlgebraicInverse(double d, const NoiseLevelFunction& nlf) {
  Require(nlf);
  const double g = nlf.gain;
  const double root = d * g / 2.0;
  return (root * root - 0.375 * g * g - nlf.offset) / g;
}

double UnbiasedInverse(double d, const NoiseLevelFunction& nlf) {
  Require(nlf);
  return nlf.gain * TableFor(SigmaOf(nlf))->Inverse(d) + PedestalOf(nlf);
}

double ExpectedStabilisedValue(double x, const NoiseLevelFunction& nlf) {
  Require(nlf);
  const double sigma = SigmaOf(nlf);
  const double lambda = std::max((x - PedestalOf(nlf)) / nlf.gain, 0.0);
  const double shift = 0.375 + sigma * sigma;
  return PoissonMean(lambda, [&](std::size_t k) { return GaussianMeanOfRoot(static_cast<double>(k) + shift, sigma); });
}

void StabiliseVariance(float* samples, std::size_t count, const NoiseLevelFunction& nlf) {
  Require(nlf);
  const double g = nlf.gain;
  const double shift = 0.375 * g * g + nlf.offset;
  for (std::size_t i = 0; i < count; ++i) {
    samples[i] = static_cast<float>(2.0 / g * std::sqrt(std::max(g * samples[i] + shift, 0.0)));
  }
}

void UnstabiliseVariance(float* samples, std::size_t count, const NoiseLevelFunction& nlf) {
  Require(nlf);
  const std::shared_ptr<const ExpectationTable> table = TableFor(SigmaOf(nlf));
  const double pedestal = PedestalOf(nlf);
  for (std::size_t i = 0; i < count; ++i) {
    samples[i] = static_cast<float>(nlf.gain * table->Inverse(samples[i]) + pedestal);
  }
}

std::vector<NoiseLevelFit> FitImageNoiseLevels(const Image* image) {
  std::vector<NoiseLevelFit> fits;
  for (int c = 0; c < ImageChannels(image); ++c) {
    fits.push_back(FitNoiseLevelFunction(ImagePlane(image, c), ImageWidth(image), ImageHeight(image)));
  }
  return fits;
}

namespace {

// Every function is checked before any channel is changed, so that a bad
// one leaves the image as it was.
template <typename Transform>
void TransformImage(Image* image, const std::vector<NoiseLevelFunction>& nlfs, const Transform& transform) {
  const int channels = ImageChannels(image);
  if (nlfs.size() != static_cast<std::size_t>(channels)) {
    throw std::invalid_argument("one noise-level function per channel is needed: " + std::to_string(nlfs.size()) +
                                " for " + std::to_string(channels) + " channels");
  }
  for (const NoiseLevelFunction& nlf : nlfs) Require(nlf);
  const std::size_t perChannel = ImageSampleCount(image) / static_cast<std::size_t>(std::max(channels, 1));
  for (int c = 0; c < channels; ++c) transform(ImagePlane(image, c), perChannel, nlfs[static_cast<std::size_t>(c)]);
}

}  // namespace

void StabiliseImage(Image* image, const std::vector<NoiseLevelFunction>& nlfs) {
  TransformImage(image, nlfs, StabiliseVariance);
}

void UnstabiliseImage(Image* image, const std::vector<NoiseLevelFunction>& nlfs) {
  TransformImage(image, nlfs, UnstabiliseVariance);
}

}  // namespace calvane::app
