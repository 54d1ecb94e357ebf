// Image files in and out, through OpenImageIO, and the host images made from
// them.
#pragma once

#include <OpenImageIO/imageio.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct Image;

namespace calvane::app {

struct ImageDeleter {
  void operator()(Image* image) const;
};
using HostImagePtr = std::unique_ptr<Image, ImageDeleter>;

// A file's pixels and everything needed to write it back in kind.
struct DecodedImage {
  OIIO::ImageSpec spec;        // as read: data type, channels, metadata
  std::string formatName;      // the reader's format ("png", "openexr", ...)
  std::vector<float> pixels;   // interleaved; integer data scaled to 0..1
  std::vector<int> colourChannels;  // the channels that are denoised
  float scale = 1.0f;          // full-scale value of the file's data type
  std::size_t replacedNonFinite = 0;  // NaN or infinite colour samples set to 0
};

// The full-scale value of a data type: 255 for 8 bits, 65535 for 16 bits,
// 1 for floating point.
float FullScale(OIIO::TypeDesc type);

// Reads the first image of a file. A FileError naming `path` on failure.
DecodedImage ReadImageFile(const std::string& path);

// A host image of the colour channels, in the file's own units (0..scale).
HostImagePtr MakeWorkingImage(const DecodedImage& image);

// Puts the host image's samples back into the colour channels.
void StoreWorkingImage(const Image* work, DecodedImage& image);

// A usage error when no image format is known for `path`'s extension.
void RequireWritableFormat(const std::string& path);

// Writes in the format of `path`'s extension, in the data type and with the
// metadata of the input where that format has them; atomically.
// `beforeCommit` runs when the file is complete and may throw to abandon it.
void WriteImageFile(const std::string& path, const DecodedImage& image,
                    const std::function<void()>& beforeCommit = nullptr);

}  // namespace calvane::app
