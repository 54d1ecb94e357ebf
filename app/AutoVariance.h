// --variance auto: the noise level is measured, and the radius is set to the
// multiple of it with which the plug-in's own flow does best on this image.
// "Best" is judged without the clean image by Stein's unbiased risk estimate
// (SURE) of trial runs on a part of the image. The right multiple depends on
// the picture: about 0.85 for detailed photographs, close to 1 for smooth
// ones, whose noise the flow can remove almost entirely.
#pragma once

#include <cstdint>
#include <functional>

#include "app/ImageFile.h"

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

// Denoises `image` in place with the given radius.
using TrialDenoiser = std::function<void(Image* image, double radius)>;

struct AutoVariance {
  double sigma = 0.0;   // the measured noise level
  double factor = kDefaultAutoVarianceFactor;
  double radius = 0.0;  // factor * sigma: the "Noise Variance" to use
};

// Measures the noise of `work` and picks the factor whose trial has the
// lowest estimated risk, stepping from the default towards lower risk.
// Each factor tried costs two runs: on the part, and on the part plus a
// small known perturbation.
AutoVariance ChooseAutoVariance(const Image* work, const TrialDenoiser& denoise);

// The same with a factor fixed beforehand (a sequence tunes it on its first
// frame only).
AutoVariance MeasureAutoVariance(const Image* work, double factor);

// A centred part of `image`, at most side x side.
HostImagePtr CentredPart(const Image* image, std::int64_t side);

// SURE, per sample, of a denoiser at `noisy`: from its result there and at
// noisy + epsilon * direction (direction standard normal), for noise of
// standard deviation sigma.
double SteinRiskEstimate(const Image* noisy, const Image* denoised, const Image* perturbedDenoised,
                         const Image* direction, double epsilon, double sigma);

}  // namespace calvane::app
