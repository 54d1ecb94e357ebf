// Image files in and out, and the host images made from them. The image
// library that does the reading and writing is private to ImageFile.cpp.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/HostImagePtr.h"

struct Image;

namespace calvane::app {

// How a file stored its pixels, as read: data type, channel roles, metadata.
// Only the image input/output module knows what it holds.
struct FileLayout;
// The same of a file the program read itself (DirectImageFiles.h).
struct DirectLayout;

// A file's pixels and everything needed to write it back in kind.
struct DecodedImage {
  std::shared_ptr<const FileLayout> layout;  // never changed once read, so copies share it
  std::shared_ptr<const DirectLayout> direct;  // instead of `layout`, for a file the program read itself
  std::string formatName;      // the reader's format ("png", "openexr", ...)
  int width = 0;
  int height = 0;
  int channels = 0;            // every channel of the file, colour or not
  std::vector<float> pixels;   // interleaved; integer data scaled to 0..1
  std::vector<int> colourChannels;  // the channels that are denoised: all but alpha, depth and masks
  float scale = 1.0f;          // full-scale value of the file's data type
  float unit = 1.0f;           // file units per working unit: 1, or a power of two for 32-bit integers
};

// Whether the commonest files (DirectImageFiles.h) are read and written by
// the program itself, as they are unless told otherwise: without them every
// file goes through the image input/output module, for comparing the two.
void UseDirectImageFiles(bool use);

// The most samples (width x height x channels) a file may declare before it
// is refused unread: a header is a few bytes, the pixels it promises are
// not. 2^31 samples take 8 GiB as floats, several times over in the flow.
constexpr std::uint64_t kDefaultMaxSamples = std::uint64_t{1} << 31;

// Reads the first image of a file. A FileError naming `path` when it cannot
// be read in full, declares more than `maxSamples` samples (refused before
// any pixel is decoded), or holds colour samples that are not finite.
DecodedImage ReadImageFile(const std::string& path, std::uint64_t maxSamples = kDefaultMaxSamples);

// Reads every image of a file, in order: the pages of a TIFF, the parts (or
// subimages) of an OpenEXR file; one for most files. As ReadImageFile, with
// `maxSamples` the limit on all the images' samples together.
std::vector<DecodedImage> ReadImagePages(const std::string& path, std::uint64_t maxSamples = kDefaultMaxSamples);

// A host image of the colour channels in working units: the file's own
// units divided by `image.unit` (0..WorkingFullScale). The unit keeps noise
// levels of 32-bit integer data within what a level can be.
HostImagePtr MakeWorkingImage(const DecodedImage& image);

// Puts the host image's samples, in working units, back into the colour
// channels.
void StoreWorkingImage(const Image* work, DecodedImage& image);

// The full-scale value of the file's data type in working units.
float WorkingFullScale(const DecodedImage& image);

// A usage error when no image format is known for `path`'s extension.
void RequireWritableFormat(const std::string& path);

// Checks, before any work, that the format of `path`'s extension holds
// `image` by writing a few of its pixels to the temporary file an output
// there would use: a UsageError naming `path` and the cause when the format
// refuses the image's channels or depth, a FileError when the folder refuses
// the file. Returns a note for each conversion the format makes on the way
// (fewer bits per sample, channels added or dropped, a palette).
std::vector<std::string> CheckOutputFormat(const std::string& path, const DecodedImage& image);

// A UsageError naming `path` and `input` when `input` holds several images
// and the format of `path`'s extension holds only one.
void RequireRoomForImages(const std::string& path, const std::string& input, std::size_t images);

// CheckOutputFormat for every image of `input` to be written together to
// `path`: refused when the format holds fewer images; each kind of image
// (channels and depth) tried; the notes of all.
std::vector<std::string> CheckOutputFormat(const std::string& path, const std::string& input,
                                           const std::vector<DecodedImage>& images);

// Writes in the format of `path`'s extension, in the data type and with the
// metadata of the input where that format has them; atomically, and only
// once every byte is known to be on disk.
// `beforeCommit` runs when the file is complete and may throw to abandon it.
void WriteImageFile(const std::string& path, const DecodedImage& image,
                    const std::function<void()>& beforeCommit = nullptr);

// WriteImageFile for several images, in order, into one file (pages of a
// TIFF, parts of an OpenEXR file); a UsageError when the format holds only
// one image.
void WriteImagePages(const std::string& path, const std::vector<const DecodedImage*>& pages,
                     const std::function<void()>& beforeCommit = nullptr);

}  // namespace calvane::app
