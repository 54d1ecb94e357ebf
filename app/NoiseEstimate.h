// Estimate of the noise level of an image, for --variance auto.
#pragma once

#include <cstdint>

struct Image;

namespace calvane::app {

// The standard deviation of additive white noise in one plane of samples:
// the median absolute value of the finest diagonal Daubechies-4 wavelet
// coefficients, divided by 0.6745 (the median of |N(0,1)|). Edges and
// texture touch few of those coefficients, so the median sees the noise.
// 0 for a plane smaller than 4x4.
double EstimatePlaneNoise(const float* samples, std::int64_t width, std::int64_t height);

// Over every channel of a host image, in its own units: the root mean
// square of the channels' estimates, matching the distance the plug-in
// measures over all samples.
double EstimateImageNoise(const Image* image);

}  // namespace calvane::app
