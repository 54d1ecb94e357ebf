#include "app/NoiseEstimate.h"

#include <algorithm>
#include <cmath>
#include <thread>
#include <vector>

#include "hostlib/HostImage.h"

namespace calvane::app {
namespace {

// The Daubechies-4 high-pass (wavelet) filter; unit norm, so white noise
// keeps its standard deviation in the coefficients.
const double kSqrt3 = std::sqrt(3.0);
const double kNorm = 4.0 * std::sqrt(2.0);
const double kHighPass[4] = {(1.0 - kSqrt3) / kNorm, -(3.0 - kSqrt3) / kNorm, (3.0 + kSqrt3) / kNorm,
                             -(1.0 + kSqrt3) / kNorm};

constexpr double kMedianAbsoluteNormal = 0.6745;

// Below this many pixels a plane takes less than a thread's start-up.
constexpr std::int64_t kParallelPixels = 256 * 1024;

}  // namespace

double EstimatePlaneNoise(const float* samples, std::int64_t width, std::int64_t height) {
  if (width < 4 || height < 4) return 0.0;
  // Only coefficients whose support lies inside the image, so that no
  // border extension adds edges of its own.
  const std::int64_t columns = (width - 4) / 2 + 1;
  const std::int64_t rows = (height - 4) / 2 + 1;
  std::vector<float> magnitudes(static_cast<std::size_t>(columns * rows));
  std::vector<double> rowFiltered(static_cast<std::size_t>(columns) * 4);
  for (std::int64_t j = 0; j < rows; ++j) {
    // High-pass along x for the four rows under this coefficient, then along y.
    for (int m = 0; m < 4; ++m) {
      const float* row = samples + (2 * j + m) * width;
      for (std::int64_t i = 0; i < columns; ++i) {
        const float* p = row + 2 * i;
        rowFiltered[static_cast<std::size_t>(m * columns + i)] =
            kHighPass[0] * p[0] + kHighPass[1] * p[1] + kHighPass[2] * p[2] + kHighPass[3] * p[3];
      }
    }
    for (std::int64_t i = 0; i < columns; ++i) {
      double d = 0.0;
      for (int m = 0; m < 4; ++m) d += kHighPass[m] * rowFiltered[static_cast<std::size_t>(m * columns + i)];
      magnitudes[static_cast<std::size_t>(j * columns + i)] = static_cast<float>(std::fabs(d));
    }
  }
  const auto middle = magnitudes.begin() + static_cast<std::ptrdiff_t>(magnitudes.size() / 2);
  std::nth_element(magnitudes.begin(), middle, magnitudes.end());
  return static_cast<double>(*middle) / kMedianAbsoluteNormal;
}

double EstimateImageNoise(const Image* image) {
  const int channels = ImageChannels(image);
  if (channels == 0) return 0.0;
  std::vector<const float*> planes;
  for (int c = 0; c < channels; ++c) planes.push_back(ImagePlane(image, c));
  // The channels are measured side by side on large images; the sum is
  // taken in channel order, so the result does not depend on it.
  std::vector<double> sigmas(static_cast<std::size_t>(channels));
  const auto measure = [&](int c) {
    sigmas[static_cast<std::size_t>(c)] = EstimatePlaneNoise(planes[static_cast<std::size_t>(c)], ImageWidth(image), ImageHeight(image));
  };
  std::vector<std::thread> helpers;
  if (channels > 1 && ImageWidth(image) * ImageHeight(image) >= kParallelPixels) {
    for (int c = 1; c < channels; ++c) helpers.emplace_back(measure, c);
  } else {
    for (int c = 1; c < channels; ++c) measure(c);
  }
  measure(0);
  for (std::thread& helper : helpers) helper.join();
  double sumOfSquares = 0.0;
  for (double sigma : sigmas) sumOfSquares += sigma * sigma;
  return std::sqrt(sumOfSquares / channels);
}

}  // namespace calvane::app
