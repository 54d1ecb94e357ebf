// The image record behind the opaque Image of the host interface.
#pragma once

#include <cstddef>
#include <cstdint>

#include "hostlib/HostImage.h"

struct Image {
  std::int64_t width = 0;
  std::int64_t height = 0;
  int channels = 0;
  float scale = 1.0f;
  ChannelCoupling coupling = ChannelCoupling::Independent;
  float* samples = nullptr;    // channels planes of width * height floats
  std::size_t capacity = 0;    // floats allocated at `samples`
  bool mapped = false;         // `samples` is a mapping of its own, not from the heap

  std::size_t PlaneSize() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(height); }
  std::size_t SampleCount() const { return PlaneSize() * static_cast<std::size_t>(channels); }
};

namespace calvane::hostlib {

// Checked sample count for a geometry; throws AlertableError when the
// geometry is invalid or does not fit in memory addressing.
std::size_t CheckedSampleCount(std::int64_t width, std::int64_t height, int channels);

// Gives `image` the geometry (reallocating only when it needs more room).
void Reshape(Image& image, std::int64_t width, std::int64_t height, int channels);

// Frees the samples of `image` however they were allocated.
void ReleaseSamples(Image& image);

// Throws AlertableError when `image` is null.
Image& Require(Image* image, const char* operation);

// Throws AlertableError unless both images have one geometry.
void RequireSameGeometry(const Image& a, const Image& b, const char* operation);

}  // namespace calvane::hostlib
