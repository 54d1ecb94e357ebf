// Image files in and out, through OpenImageIO, and the host images made from
// them.
#pragma once

#include <OpenImageIO/imageio.h>

#include <cstdint>
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
};

// The most samples (width x height x channels) a file may declare before it
// is refused unread: a header is a few bytes, the pixels it promises are
// not. 2^31 samples take 8 GiB as floats, several times over in the flow.
constexpr std::uint64_t kDefaultMaxSamples = std::uint64_t{1} << 31;

// The full-scale value of a data type: 255 for 8 bits, 65535 for 16 bits,
// 1 for floating point.
float FullScale(OIIO::TypeDesc type);

// Reads the first image of a file. A FileError naming `path` when it cannot
// be read in full, declares more than `maxSamples` samples (refused before
// any pixel is decoded), or holds colour samples that are not finite.
DecodedImage ReadImageFile(const std::string& path, std::uint64_t maxSamples = kDefaultMaxSamples);

// A host image of the colour channels, in the file's own units (0..scale).
HostImagePtr MakeWorkingImage(const DecodedImage& image);

// Puts the host image's samples back into the colour channels.
void StoreWorkingImage(const Image* work, DecodedImage& image);

// A usage error when no image format is known for `path`'s extension.
void RequireWritableFormat(const std::string& path);

// Checks, before any work, that the format of `path`'s extension holds
// `image` by writing a few of its pixels to the temporary file an output
// there would use: a UsageError naming `path` and the cause when the format
// refuses the image's channels or depth, a FileError when the folder refuses
// the file. Returns a note for each conversion the format makes on the way
// (fewer bits per sample, channels added or dropped, a palette).
std::vector<std::string> CheckOutputFormat(const std::string& path, const DecodedImage& image);

// Writes in the format of `path`'s extension, in the data type and with the
// metadata of the input where that format has them; atomically, and only
// once every byte is known to be on disk.
// `beforeCommit` runs when the file is complete and may throw to abandon it.
void WriteImageFile(const std::string& path, const DecodedImage& image,
                    const std::function<void()>& beforeCommit = nullptr);

}  // namespace calvane::app
