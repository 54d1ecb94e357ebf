// The commonest files read and written by the program itself, without the
// image input/output module: PNG of grey or colour, with or without alpha,
// and binary PNM (P5, P6), each of 8 or 16 bits. Opening the module costs
// the dynamic loader about a quarter of a second (the image library and the
// hundreds of libraries it depends on), which on a small picture is most of
// the run.
//
// The files taken here are those whose every sample and every chunk the
// program reproduces exactly as the module would: what is written is the
// same file, byte for byte, that the module writes. Anything else (another
// format, a PNG with other metadata, a palette or interlacing, a PNM with comments
// or another largest value, a damaged file) is left to the module, which
// reads it, refuses it or explains what is wrong with it as before.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ImageFile.h"

namespace calvane::app {

// What a file read here was; an image of it carries this instead of the
// module's layout.
struct DirectLayout {
  enum class Kind { Png, Pnm };
  // The colour space the module takes the file to be in, and names in a
  // PNG it writes: sRGB for a PNG that says so or says nothing, Rec. 709
  // for a PNM or a PNG that names it.
  enum class ColourSpace { Srgb, Rec709 };
  Kind kind = Kind::Png;
  ColourSpace colourSpace = ColourSpace::Srgb;
  int bits = 8;          // 8 or 16
  std::string source;    // the file read, for the module to describe when it writes the image
  // The module's description of the file (without samples), once asked for.
  mutable std::shared_ptr<const DecodedImage> described;
};

// The image of a file read here, or nothing when the file is not one that
// is read here (the module then reads it). Nothing, too, when it declares
// more than `maxSamples` samples: the module refuses it in its words.
std::optional<DecodedImage> ReadImageDirectly(const std::string& path, std::uint64_t maxSamples);

// True when `path`'s extension names a format written here (.png, .ppm,
// .pgm, .pnm); such a name needs no module to be checked.
bool FormatIsWrittenDirectly(const std::string& path);

// True when `image`, read here, is written here to `path`.
bool WritesDirectly(const std::string& path, const DecodedImage& image);

// Writes `image` to `path` (WritesDirectly), atomically, as the module would.
void WriteImageDirectly(const std::string& path, const DecodedImage& image, const std::function<void()>& beforeCommit);

}  // namespace calvane::app
