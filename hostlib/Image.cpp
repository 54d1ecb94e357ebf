// Images and the streaming operations on them. Every operation is one pass
// over memory, split across the process's thread team the same way every
// time (Parallel.h), with the inner loops in the vector kernels of the
// processor's level (Kernels.h).
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "host/HostErrors.h"
#include "host/Image.h"
#include "hostlib/Deferred.h"
#include "hostlib/HostImage.h"
#include "hostlib/ImageImpl.h"
#include "hostlib/Kernels.h"
#include "hostlib/Parallel.h"

namespace calvane::hostlib {
namespace {

constexpr std::size_t kAlignment = 64;
constexpr std::size_t kPageBytes = 4096;
constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;
// From this size on, samples get a mapping of their own aligned to huge
// pages: far fewer page faults and TLB misses on every pass, and the memory
// goes back to the system when the image is deleted.
constexpr std::size_t kMappedFromBytes = 2 * kHugePageBytes;

std::string GeometryText(std::int64_t width, std::int64_t height, int channels) {
  return std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(channels);
}

std::size_t RoundUp(std::size_t value, std::size_t multiple) { return (value + multiple - 1) / multiple * multiple; }

std::size_t MappingBytes(std::size_t count) { return RoundUp(count * sizeof(float), kHugePageBytes); }

// A zeroed mapping of `bytes`, aligned to a huge page. Null when the system
// has no room.
void* MapHugeAligned(std::size_t bytes) {
  const std::size_t reserved = bytes + kHugePageBytes;
  void* raw = mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = RoundUp(start, kHugePageBytes);
  if (aligned > start) munmap(raw, aligned - start);
  const std::uintptr_t tail = aligned + bytes;
  if (start + reserved > tail) munmap(reinterpret_cast<void*>(tail), start + reserved - tail);
  void* memory = reinterpret_cast<void*>(aligned);
  madvise(memory, bytes, MADV_HUGEPAGE);  // advice only: without it we still have the memory
  return memory;
}

// Samples for an image, with every page already faulted in by the thread
// that will work on that part of it (so the first pass over a new image
// pays no page faults, and its pages sit on that thread's memory node).
float* AllocateSamples(std::size_t count, int planes, std::int64_t width, std::int64_t height, int channels,
                       bool& mapped) {
  if (count == 0) count = 1;
  const std::size_t bytes = RoundUp(count * sizeof(float), kAlignment);
  mapped = bytes >= kMappedFromBytes;
  void* memory = mapped ? MapHugeAligned(MappingBytes(count)) : std::aligned_alloc(kAlignment, bytes);
  if (memory == nullptr) {
    throw AlertableError("not enough memory for a " + GeometryText(width, height, channels) + " image (" +
                         std::to_string(bytes >> 20) + " MiB)");
  }
  auto* samples = static_cast<float*>(memory);
  const std::size_t planeSize = count / static_cast<std::size_t>(planes);
  if (mapped) {
    // The mapping is zero already: one write per page faults it in.
    ForEachChunk(planeSize, planes, [samples](std::size_t offset, std::size_t n, std::size_t) {
      constexpr std::size_t kStride = kPageBytes / sizeof(float);
      for (std::size_t i = 0; i < n; i += kStride) samples[offset + i] = 0.0f;
    });
  } else {
    ForEachChunk(planeSize, planes, [samples](std::size_t offset, std::size_t n, std::size_t) {
      std::memset(samples + offset, 0, n * sizeof(float));
    });
  }
  return samples;
}

}  // namespace

void ReleaseSamples(Image& image) {
  if (image.mapped) {
    munmap(image.samples, MappingBytes(image.capacity));
  } else {
    std::free(image.samples);
  }
  image.samples = nullptr;
  image.capacity = 0;
  image.mapped = false;
}

std::size_t CheckedSampleCount(std::int64_t width, std::int64_t height, int channels) {
  if (width <= 0 || height <= 0 || channels < 1 || channels > kMaxImageChannels) {
    throw AlertableError("invalid image geometry " + GeometryText(width, height, channels) +
                         " (width and height must be positive, 1 to " +
                         std::to_string(kMaxImageChannels) + " channels)");
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
    bool mapped = false;
    float* samples = AllocateSamples(count, channels, width, height, channels, mapped);
    ReleaseSamples(image);
    image.samples = samples;
    image.capacity = count;
    image.mapped = mapped;
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
    image->samples = AllocateSamples(count, channels, width, height, channels, image->mapped);
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

void SetImageChannelCoupling(Image* image, ChannelCoupling coupling) {
  Image& target = Require(image, "SetImageChannelCoupling");
  if (coupling != ChannelCoupling::Independent && coupling != ChannelCoupling::Joint) {
    throw AlertableError("SetImageChannelCoupling: unknown coupling " + std::to_string(static_cast<int>(coupling)));
  }
  target.coupling = coupling;
}

ChannelCoupling ImageChannelCoupling(const Image* image) {
  return image ? image->coupling : ChannelCoupling::Independent;
}

namespace {

// The samples of one channel, once everything pending on the image that
// `use` needs has run.
float* Plane(Image* image, int channel, Use use) {
  Image& img = Require(image, "ImagePlane");
  if (channel < 0 || channel >= img.channels) throw AlertableError("ImagePlane: no channel " + std::to_string(channel));
  if (Deferring()) {
    DeferredLock lock;
    Prepare(&img, use);
  }
  return img.samples + img.PlaneSize() * static_cast<std::size_t>(channel);
}

}  // namespace

// The caller may write through the pointer.
float* ImagePlane(Image* image, int channel) { return Plane(image, channel, Use::Change); }

const float* ImagePlane(const Image* image, int channel) {
  return Plane(const_cast<Image*>(image), channel, Use::Read);
}

Image* NewImage(Image* like) {
  const Image& model = Require(like, "NewImage");
  Image* image = CreateImage(model.width, model.height, model.channels, model.scale);
  image->coupling = model.coupling;
  return image;
}

Image* DuplicateImage(Image* src) {
  const Image& source = Require(src, "DuplicateImage");
  Image* copy = CreateImage(source.width, source.height, source.channels, source.scale);
  CopyImageData(src, copy);
  return copy;
}

void CopyImageData(Image* src, Image* dst) {
  const Image& source = Require(src, "CopyImageData");
  Image& target = Require(dst, "CopyImageData");
  if (Deferring()) {
    DeferredLock lock;
    Prepare(&source, Use::Read);
    if (&source != &target) Prepare(&target, Use::Replace);
  }
  if (&source == &target) return;
  // The destination takes the source's geometry, scale and coupling, so a
  // cached image can follow a working image of another size.
  Reshape(target, source.width, source.height, source.channels);
  target.scale = source.scale;
  target.coupling = source.coupling;
  const float* in = source.samples;
  float* out = target.samples;
  ForEachChunk(source.PlaneSize(), source.channels, [in, out](std::size_t offset, std::size_t n, std::size_t) {
    std::memcpy(out + offset, in + offset, n * sizeof(float));
  });
}

void DeleteImage(Image* image) {
  if (image == nullptr) return;
  if (Deferring()) {
    DeferredLock lock;
    if (PrepareDelete(image)) return;
  }
  ReleaseSamples(*image);
  delete image;
}

void AddImage(Image* dst, Image* src, float factor) {
  Image& target = Require(dst, "AddImage");
  const Image& source = Require(src, "AddImage");
  RequireSameGeometry(target, source, "AddImage");
  if (Deferring()) {
    DeferredLock lock;
    if (&target != &source) {
      DeferAdd(target, const_cast<Image&>(source), factor);
      return;
    }
    Prepare(&target, Use::Change);
  }
  float* out = target.samples;
  const float* in = source.samples;
  const auto addScaled = ActiveKernels().addScaled;
  ForEachChunk(target.PlaneSize(), target.channels, [out, in, factor, addScaled](std::size_t offset, std::size_t n, std::size_t) {
    addScaled(out + offset, in + offset, factor, n);
  });
}

void MultiplyConstant(Image* image, float factor) {
  Image& target = Require(image, "MultiplyConstant");
  if (Deferring()) {
    DeferredLock lock;
    DeferScale(target, factor);
    return;
  }
  float* out = target.samples;
  const auto scale = ActiveKernels().scale;
  ForEachChunk(target.PlaneSize(), target.channels,
               [out, factor, scale](std::size_t offset, std::size_t n, std::size_t) { scale(out + offset, factor, n); });
}

float ImageDiffEnergy(Image* a, Image* b) {
  const Image& first = Require(a, "ImageDiffEnergy");
  const Image& second = Require(b, "ImageDiffEnergy");
  RequireSameGeometry(first, second, "ImageDiffEnergy");
  if (Deferring()) {
    DeferredLock lock;
    float energy = 0.0f;
    if (FusedEnergy(const_cast<Image&>(first), const_cast<Image&>(second), energy)) return energy;
  }
  const float* x = first.samples;
  const float* y = second.samples;
  const auto sumSquaredDifference = ActiveKernels().sumSquaredDifference;
  // One partial sum per chunk, added in chunk order: the same images give
  // the same energy on every run, whichever thread did which chunk.
  std::vector<double> partial(SampleLayout(first.PlaneSize(), first.channels).Chunks());
  ForEachChunk(first.PlaneSize(), first.channels,
               [x, y, sumSquaredDifference, &partial](std::size_t offset, std::size_t n, std::size_t chunk) {
                 partial[chunk] = sumSquaredDifference(x + offset, y + offset, n);
               });
  double sum = 0.0;
  for (const double p : partial) sum += p;
  return static_cast<float>(sum / static_cast<double>(first.SampleCount()));
}

float GetScale(Image* image) { return Require(image, "GetScale").scale; }
