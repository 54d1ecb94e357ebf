#include "app/AutoVariance.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>

#include "app/NoiseEstimate.h"
#include "host/Image.h"
#include "hostlib/HostImage.h"

namespace calvane::app {
namespace {

// The perturbation is small next to the noise, so the flow responds to it
// about linearly, and large next to float rounding.
constexpr double kPerturbation = 0.1;

HostImagePtr Copy(const Image* image) { return HostImagePtr(DuplicateImage(const_cast<Image*>(image))); }

HostImagePtr StandardNormal(const Image* like, unsigned seed) {
  HostImagePtr noise(NewImage(const_cast<Image*>(like)));
  std::mt19937 rng(seed);
  std::normal_distribution<float> normal(0.0f, 1.0f);
  for (int c = 0; c < ImageChannels(like); ++c) {
    float* plane = ImagePlane(noise.get(), c);
    const std::size_t count = ImageSampleCount(like) / static_cast<std::size_t>(ImageChannels(like));
    for (std::size_t i = 0; i < count; ++i) plane[i] = normal(rng);
  }
  return noise;
}

// direction . (b - a), summed over every sample.
double ProjectedDifference(const Image* direction, const Image* a, const Image* b) {
  double sum = 0.0;
  for (int c = 0; c < ImageChannels(a); ++c) {
    const float* d = ImagePlane(direction, c);
    const float* x = ImagePlane(a, c);
    const float* y = ImagePlane(b, c);
    const std::size_t count = ImageSampleCount(a) / static_cast<std::size_t>(ImageChannels(a));
    for (std::size_t i = 0; i < count; ++i) sum += static_cast<double>(d[i]) * (static_cast<double>(y[i]) - x[i]);
  }
  return sum;
}

}  // namespace

HostImagePtr CentredPart(const Image* image, std::int64_t side) {
  const std::int64_t width = std::min(ImageWidth(image), side);
  const std::int64_t height = std::min(ImageHeight(image), side);
  const std::int64_t left = (ImageWidth(image) - width) / 2;
  const std::int64_t top = (ImageHeight(image) - height) / 2;
  HostImagePtr part(CreateImage(width, height, ImageChannels(image), GetScale(const_cast<Image*>(image))));
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
  const double divergence = ProjectedDifference(direction, denoised, perturbedDenoised) / epsilon;
  return residual - sigma * sigma + 2.0 * sigma * sigma * divergence / samples;
}

AutoVariance MeasureAutoVariance(const Image* work, double factor) {
  AutoVariance result;
  result.sigma = EstimateImageNoise(work);
  result.factor = factor;
  result.radius = factor * result.sigma;
  return result;
}

AutoVariance ChooseAutoVariance(const Image* work, const TrialDenoiser& denoise) {
  AutoVariance result = MeasureAutoVariance(work, kDefaultAutoVarianceFactor);
  if (!(result.sigma > 0.0)) return result;

  const HostImagePtr part = CentredPart(work, kTrialSide);
  const HostImagePtr direction = StandardNormal(part.get(), 2024);
  const double epsilon = kPerturbation * result.sigma;
  const HostImagePtr perturbed = Copy(part.get());
  AddImage(perturbed.get(), direction.get(), static_cast<float>(epsilon));

  const auto riskAt = [&](double factor) {
    const double radius = factor * result.sigma;
    const HostImagePtr denoised = Copy(part.get());
    denoise(denoised.get(), radius);
    const HostImagePtr perturbedDenoised = Copy(perturbed.get());
    denoise(perturbedDenoised.get(), radius);
    return SteinRiskEstimate(part.get(), denoised.get(), perturbedDenoised.get(), direction.get(), epsilon, result.sigma);
  };
  // The risk is about convex in the factor: look at both neighbours of the
  // default, then walk downhill until it rises or the grid ends.
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
  result.factor = best;
  result.radius = result.factor * result.sigma;
  return result;
}

}  // namespace calvane::app
