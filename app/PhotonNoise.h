// Photon (Poisson-Gaussian) noise: the noise-level function of an image,
// measured from the image itself, and the variance-stabilising transform
// that turns such noise into noise of one level, with its exact unbiased
// inverse.
//
// Photon-limited data (fluorescence, astronomy, low-light frames) have a
// noise variance that grows linearly with the signal:
//   variance(x) = gain * x + offset,
// gain the size of one photon in the file's units, offset the variance of
// the read noise, or negative when the data sit on a black-level pedestal p
// (offset = -gain * p: the photon noise starts at p).
//
// The generalised Anscombe transform
//   f(x) = (2 / gain) * sqrt(max(gain * x + 3/8 * gain^2 + offset, 0))
// makes that noise about Gaussian with standard deviation 1, so that a
// denoiser for noise of one level can be run on it. Mapping the result back
// with the algebraic inverse of f is biased at low counts (the mean of a
// square root is not the square root of the mean); UnbiasedInverse instead
// returns the signal whose expected transformed value is the given one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct Image;

namespace calvane::app {

// variance(signal) = gain * signal + offset, in the units of the samples.
struct NoiseLevelFunction {
  double gain = 0;
  double offset = 0;
};

struct NoiseLevelFit {
  NoiseLevelFunction nlf;
  // False when the plane does not show its noise: fewer smooth patches than
  // a line can be fitted to (a small image, or one made of edges and
  // texture), or no measurable noise at all (a clean synthetic image, a
  // constant plane, samples that are not finite). nlf is then zero.
  bool valid = false;
  // The range of local means the fit saw: the 5th and 95th percentile of
  // the patches it used. The function is measured there, not beyond.
  double lowSignal = 0, highSignal = 0;
  std::size_t patches = 0;  // smooth patches the fit used
};

// Fits the noise-level function of one plane of samples (row-major,
// width * height floats, any units) from the local means and local noise
// variances of its smooth 8x8 patches. Patches near a level the data are
// clipped at (0 and 255 in an 8-bit photograph) are left out: clipping
// lowers the variance there. Integer data fit too; their rounding adds
// step^2 / 12 to the offset, which is noise the transform must see.
NoiseLevelFit FitNoiseLevelFunction(const float* samples, std::int64_t width, std::int64_t height);

// True when the fitted noise clearly grows with the signal (photon noise):
// its standard deviation at highSignal is more than 1.25 times that at
// lowSignal. False for noise of one level, and for an invalid fit.
bool IsSignalDependent(const NoiseLevelFit& fit);

// The generalised Anscombe transform, in place. Throws std::invalid_argument
// unless gain is positive and both numbers are finite.
void StabiliseVariance(float* samples, std::size_t count, const NoiseLevelFunction& nlf);

// The exact unbiased inverse, in place: maps D to the signal x whose
// expected transformed value E[f(X)] is D, X the Poisson-Gaussian variable
// of mean x under nlf. Throws as StabiliseVariance does.
void UnstabiliseVariance(float* samples, std::size_t count, const NoiseLevelFunction& nlf);

// Scalar forms of the above.
double StabilisedValue(double x, const NoiseLevelFunction& nlf);
double UnbiasedInverse(double d, const NoiseLevelFunction& nlf);
// ((d * gain / 2)^2 - 3/8 * gain^2 - offset) / gain: biased at low counts.
double AlgebraicInverse(double d, const NoiseLevelFunction& nlf);
// E[f(X)] for X of mean x under nlf, summed afresh over the Poisson law
// rather than read from a table (UnbiasedInverse inverts this function).
// x below the signal's least value (0, or the pedestal) counts as that value.
double ExpectedStabilisedValue(double x, const NoiseLevelFunction& nlf);

// The same per channel of a host image, in its own units: each channel is
// fitted, and transformed with its own function. The transforms throw
// std::invalid_argument unless there is one function per channel.
std::vector<NoiseLevelFit> FitImageNoiseLevels(const Image* image);
void StabiliseImage(Image* image, const std::vector<NoiseLevelFunction>& nlfs);
void UnstabiliseImage(Image* image, const std::vector<NoiseLevelFunction>& nlfs);

}  // namespace calvane::app
