#include "app/DataScale.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "hostlib/HostImage.h"

namespace calvane::app {

float MeasureDataScale(const Image* image, float fallback) {
  const std::size_t total = ImageSampleCount(image);
  if (total == 0) return fallback;
  // Samples at a fixed stride over the planes taken end to end: the same
  // image always gives the same scale.
  const std::size_t stride = (total + kScaleSamples - 1) / kScaleSamples;
  const std::size_t plane = total / static_cast<std::size_t>(ImageChannels(image));
  std::vector<float> picked;
  picked.reserve(total / stride + 1);
  for (std::size_t i = 0; i < total; i += stride) {
    picked.push_back(ImagePlane(image, static_cast<int>(i / plane))[i % plane]);
  }
  const auto at = [&picked](double fraction) {
    const auto nth = picked.begin() + static_cast<std::ptrdiff_t>(fraction * static_cast<double>(picked.size() - 1));
    std::nth_element(picked.begin(), nth, picked.end());
    return static_cast<double>(*nth);
  };
  const double low = at(kLowScalePercentile);
  const double high = at(kHighScalePercentile);
  const double spread = high - low;
  if (!(spread > 0.0) || !std::isfinite(spread)) return fallback;
  return static_cast<float>(spread);
}

}  // namespace calvane::app
