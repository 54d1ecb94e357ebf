// Images for the host library's tests: owned, filled with random samples,
// and read back as one vector.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "host/Image.h"
#include "hostlib/HostImage.h"

namespace calvane::test {

struct ImageDeleter {
  void operator()(Image* image) const { DeleteImage(image); }
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

// Samples uniform in [low, high), the same for the same seed.
inline ImagePtr RandomImage(std::int64_t w, std::int64_t h, int c, unsigned seed, float scale = 255.0f,
                            float low = -100.0f, float high = 300.0f) {
  ImagePtr image(CreateImage(w, h, c, scale));
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(low, high);
  for (int ch = 0; ch < c; ++ch) {
    float* p = ImagePlane(image.get(), ch);
    for (std::int64_t i = 0; i < w * h; ++i) p[i] = dist(rng);
  }
  return image;
}

// Every sample, plane after plane.
inline std::vector<float> Samples(const Image* image) {
  std::vector<float> out;
  for (int ch = 0; ch < ImageChannels(image); ++ch) {
    const float* p = ImagePlane(image, ch);
    out.insert(out.end(), p, p + ImageWidth(image) * ImageHeight(image));
  }
  return out;
}

}  // namespace calvane::test
