// Images and the streaming operations on them. Every operation is one pass
// over memory, split across the threads of the process's OpenMP team, with
// inner loops simple enough for the compiler to vectorise.
#include <omp.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "host/HostErrors.h"
#include "host/Image.h"
#include "hostlib/HostImage.h"
#include "hostlib/ImageImpl.h"

namespace calvane::hostlib {
namespace {

constexpr std::size_t kAlignment = 64;

// Below this many samples a pass is not worth waking the thread team.
constexpr std::size_t kParallelThreshold = 1u << 15;

std::string GeometryText(std::int64_t width, std::int64_t height, int channels) {
  return std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(channels);
}

float* AllocateSamples(std::size_t count, std::int64_t width, std::int64_t height, int channels) {
  if (count == 0) count = 1;
  const std::size_t bytes = (count * sizeof(float) + kAlignment - 1) / kAlignment * kAlignment;
  void* memory = std::aligned_alloc(kAlignment, bytes);
  if (memory == nullptr) {
    throw AlertableError("not enough memory for a " + GeometryText(width, height, channels) + " image (" +
                         std::to_string(bytes >> 20) + " MiB)");
  }
  auto* samples = static_cast<float*>(memory);
  // First touch by the threads that will work on each part of the image, so
  // its pages sit where those threads run.
  const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(count);
#pragma omp parallel for schedule(static) if (count >= kParallelThreshold)
  for (std::ptrdiff_t i = 0; i < n; ++i) samples[i] = 0.0f;
  return samples;
}

}  // namespace

std::size_t CheckedSampleCount(std::int64_t width, std::int64_t height, int channels) {
  if (width <= 0 || height <= 0 || channels < 1 || channels > kMaxImageChannels) {
    throw AlertableError("invalid image geometry " + GeometryText(width, height, channels) +
                         " (width and height must be positive, 1 to 4 channels)");
  }
  constexpr std::int64_t kMaxSamples = std::numeric_limits<std::int64_t>::max() / static_cast<std::int64_t>(sizeof(float));
  if (width > kMaxSamples / height || width * height > kMaxSamples / channels) {
    throw AlertableError("image geometry " + GeometryText(width, height, channels) + " is too large");
  }
  return static_cast<std::size_t>(width * height * channels);
}

void Reshape(Image& image, std::int64_t width, std::int64_t height, int channels) {
  const std::size_t count = CheckedSampleCount(width, height, channels);
  if (count > image.capacity) {
    float* samples = AllocateSamples(count, width, height, channels);
    std::free(image.samples);
    image.samples = samples;
    image.capacity = count;
  }
  image.width = width;
  image.height = height;
  image.channels = channels;
}

Image& Require(Image* image, const char* operation) {
  if (image == nullptr) throw AlertableError(std::string(operation) + ": no image given");
  return *image;
}

void RequireSameGeometry(const Image& a, const Image& b, const char* operation) {
  if (a.width != b.width || a.height != b.height || a.channels != b.channels) {
    throw AlertableError(std::string(operation) + ": images differ in size (" +
                         GeometryText(a.width, a.height, a.channels) + " and " +
                         GeometryText(b.width, b.height, b.channels) + ")");
  }
}

}  // namespace calvane::hostlib

using namespace calvane::hostlib;

Image* CreateImage(std::int64_t width, std::int64_t height, int channels, float scale) {
  const std::size_t count = CheckedSampleCount(width, height, channels);
  auto* image = new (std::nothrow) Image;
  if (image == nullptr) throw AlertableError("not enough memory for an image record");
  try {
    image->samples = AllocateSamples(count, width, height, channels);
  } catch (...) {
    delete image;
    throw;
  }
  image->capacity = count;
  image->width = width;
  image->height = height;
  image->channels = channels;
  image->scale = scale;
  return image;
}

std::int64_t ImageWidth(const Image* image) { return image ? image->width : 0; }
std::int64_t ImageHeight(const Image* image) { return image ? image->height : 0; }
int ImageChannels(const Image* image) { return image ? image->channels : 0; }
std::size_t ImageSampleCount(const Image* image) { return image ? image->SampleCount() : 0; }
void SetImageScale(Image* image, float scale) { Require(image, "SetImageScale").scale = scale; }

float* ImagePlane(Image* image, int channel) {
  Image& img = Require(image, "ImagePlane");
  if (channel < 0 || channel >= img.channels) throw AlertableError("ImagePlane: no channel " + std::to_string(channel));
  return img.samples + img.PlaneSize() * static_cast<std::size_t>(channel);
}

const float* ImagePlane(const Image* image, int channel) { return ImagePlane(const_cast<Image*>(image), channel); }

Image* NewImage(Image* like) {
  const Image& model = Require(like, "NewImage");
  return CreateImage(model.width, model.height, model.channels, model.scale);
}

Image* DuplicateImage(Image* src) {
  const Image& source = Require(src, "DuplicateImage");
  Image* copy = CreateImage(source.width, source.height, source.channels, source.scale);
  std::memcpy(copy->samples, source.samples, source.SampleCount() * sizeof(float));
  return copy;
}

void CopyImageData(Image* src, Image* dst) {
  const Image& source = Require(src, "CopyImageData");
  Image& target = Require(dst, "CopyImageData");
  if (&source == &target) return;
  // The destination takes the source's geometry, so a cached image can
  // follow a working image of another size.
  Reshape(target, source.width, source.height, source.channels);
  target.scale = source.scale;
  const float* in = source.samples;
  float* out = target.samples;
  const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(source.SampleCount());
#pragma omp parallel for schedule(static) if (n >= static_cast<std::ptrdiff_t>(kParallelThreshold))
  for (std::ptrdiff_t i = 0; i < n; ++i) out[i] = in[i];
}

void DeleteImage(Image* image) {
  if (image == nullptr) return;
  std::free(image->samples);
  delete image;
}

void AddImage(Image* dst, Image* src, float factor) {
  Image& target = Require(dst, "AddImage");
  const Image& source = Require(src, "AddImage");
  RequireSameGeometry(target, source, "AddImage");
  float* out = target.samples;
  const float* in = source.samples;
  const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(target.SampleCount());
#pragma omp parallel for simd schedule(static) if (n >= static_cast<std::ptrdiff_t>(kParallelThreshold))
  for (std::ptrdiff_t i = 0; i < n; ++i) out[i] += factor * in[i];
}

void MultiplyConstant(Image* image, float factor) {
  Image& target = Require(image, "MultiplyConstant");
  float* out = target.samples;
  const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(target.SampleCount());
#pragma omp parallel for simd schedule(static) if (n >= static_cast<std::ptrdiff_t>(kParallelThreshold))
  for (std::ptrdiff_t i = 0; i < n; ++i) out[i] *= factor;
}

float ImageDiffEnergy(Image* a, Image* b) {
  const Image& first = Require(a, "ImageDiffEnergy");
  const Image& second = Require(b, "ImageDiffEnergy");
  RequireSameGeometry(first, second, "ImageDiffEnergy");
  const float* x = first.samples;
  const float* y = second.samples;
  const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(first.SampleCount());
  double sum = 0.0;
#pragma omp parallel for simd schedule(static) reduction(+ : sum) if (n >= static_cast<std::ptrdiff_t>(kParallelThreshold))
  for (std::ptrdiff_t i = 0; i < n; ++i) {
    const double d = static_cast<double>(x[i]) - static_cast<double>(y[i]);
    sum += d * d;
  }
  return static_cast<float>(sum / static_cast<double>(n));
}

float GetScale(Image* image) { return Require(image, "GetScale").scale; }
