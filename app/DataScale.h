// The scale the host library answers for an image (GetScale): the spread of
// the picture's own values, not the full range of the type it was stored
// in. The flow's step and its regularisation follow this scale, so one
// picture is denoised alike whether it is stored as 8-bit, as 16-bit with
// 12 bits used, or as floating point in any units.
#pragma once

#include <cstddef>

struct Image;

namespace calvane::app {

// The percentiles whose distance is the spread: far enough in that a few
// hot pixels or clipped samples do not set it, far enough out that it is
// the picture's range.
constexpr double kLowScalePercentile = 0.001;
constexpr double kHighScalePercentile = 0.999;

// At most this many samples, evenly spaced over the image, are looked at.
constexpr std::size_t kScaleSamples = std::size_t{1} << 20;

// The spread of the samples of every channel of `image` between the two
// percentiles; `fallback` (the full scale of the stored type) when the
// spread is zero or not finite, as for a constant image.
float MeasureDataScale(const Image* image, float fallback);

}  // namespace calvane::app
