// Automatic settings: the noise is measured, and the noise level (the
// multiple of the measured noise given to the plug-in as "Noise Variance") and the
// iteration count are chosen for this image by trial runs of the plug-in's
// own flow on a part of it. The trials are judged without the clean image,
// by Stein's unbiased risk estimate (SURE) of their mean squared error.
//
// The right multiple depends on the picture: about 0.85 for detailed
// photographs, close to 1 for smooth ones, whose noise the flow can remove
// almost entirely. The right count depends on the noise against the flow's
// step: once the risk stops falling, more iterations only cost time.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "app/HostImagePtr.h"

namespace calvane::app {

// The multiples tried lie on a grid between these; the search starts at
// the default, which is also used when there is nothing to try on. The
// noise estimate runs a little high on detailed pictures with faint noise
// and a little low where bright or dark parts clip strong noise, hence the
// reach on both sides.
constexpr double kDefaultAutoVarianceFactor = 0.9;
constexpr double kAutoVarianceFactorStep = 0.05;
constexpr double kMinAutoVarianceFactor = 0.7;
constexpr double kMaxAutoVarianceFactor = 1.2;

// Trials run on a centred part of at most this many samples a side; the
// flow is local, so a part shows how it fares, in a fraction of the time.
constexpr std::int64_t kTrialSide = 512;

// The plug-in redraws after iterations 1, 6, 11, ...: the counts at which a
// trial can be looked at without running it again.
constexpr int kRedrawInterval = 5;

// How far a run of `iterations` has got, in percent, at the plug-in's
// redraw number `redraw` (from 0), as a caption shows it.
inline int PercentAtRedraw(int redraw, int iterations) {
  if (iterations <= 0) return 0;
  const int done = kRedrawInterval * redraw < iterations ? kRedrawInterval * redraw : iterations;
  return done * 100 / iterations;
}
// Counts the automatic choice keeps within (the plug-in's own limits are
// 1 to 1000; the largest count seen at a redraw below that is 996).
constexpr int kMinAutoIterations = 6;
constexpr int kMaxAutoIterations = 996;
// The count chosen is the smallest whose estimated error is within this
// fraction of the least one: under 0.02 dB, which no one can see, for
// often a third fewer iterations.
constexpr double kCountTolerance = 0.004;

// Looks at a trial's image at a redraw; false asks the run to stop there.
using TrialLook = std::function<bool(const Image*)>;

// Denoises `image` in place with the given noise level and iteration count,
// calling `atRedraw` with the image at each of the flow's redraws, and
// stopping after the redraw at which it answers false. Returns whether the
// run was stopped that way.
using TrialDenoiser = std::function<bool(Image* image, double noiseLevel, int iterations, const TrialLook& atRedraw)>;

// What is to be chosen; a value given is kept as it is.
struct AutoRequest {
  std::optional<double> noiseLevel;   // unset: chosen
  std::optional<int> iterations;  // unset: chosen
};

struct AutoSettings {
  double sigma = 0.0;  // the measured noise (its standard deviation)
  double factor = kDefaultAutoVarianceFactor;
  double noiseLevel = 0.0;  // the "Noise Variance" to use
  int iterations = 0;   // the count to use; 0 when none could be chosen
  int trials = 0;       // trial runs made
};

// The measured noise is too faint to act on when below this fraction of the
// image's scale (a tenth of an 8-bit step on a full-range 8-bit picture;
// a flat image measures zero).
constexpr double kLeastMeasurableNoise = 4e-4;

// Smallest side an image needs for its noise to be measured.
constexpr std::int64_t kLeastMeasurableSide = 4;

// True when `sigma`, measured on `image`, is noise the flow can act on.
bool NoiseIsMeasurable(const Image* image, double sigma);

// Measures the noise of `work` and chooses what `request` leaves open by
// trial runs on its centred part. When the noise cannot be measured
// (NoiseIsMeasurable), nothing is tried: sigma says so, the noise level is the
// default multiple of it and the count 0.
AutoSettings ChooseAutoSettings(const Image* work, const AutoRequest& request, const TrialDenoiser& denoise);

// The noise level for a factor fixed beforehand (a sequence tunes it on its
// first frame only).
AutoSettings MeasureAutoVariance(const Image* work, double factor);

// The part of `image` of `width` by `height` pixels from (left, top), which
// must lie within it, with the image's scale and channel coupling.
HostImagePtr ImagePart(const Image* image, std::int64_t left, std::int64_t top, std::int64_t width, std::int64_t height);

// A centred part of `image`, at most side x side.
HostImagePtr CentredPart(const Image* image, std::int64_t side);

// SURE, per sample, of a denoiser at `noisy`: from its result there and at
// noisy + epsilon * direction (direction standard normal), for noise of
// standard deviation sigma.
double SteinRiskEstimate(const Image* noisy, const Image* denoised, const Image* perturbedDenoised,
                         const Image* direction, double epsilon, double sigma);

}  // namespace calvane::app
