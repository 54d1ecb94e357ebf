#include "app/ImageFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

#include "app/AtomicOutput.h"
#include "app/ErrorReporting.h"
#include "app/ExitStatus.h"
#include "host/Image.h"
#include "hostlib/HostImage.h"

namespace calvane::app {
namespace {

// Attributes that describe how one format stored the pixels, not the
// picture; another format would misread them.
const char* const kStorageAttributes[] = {"compression", "Compression", "CompressionQuality", "oiio:BitsPerSample",
                                          "planarconfig", "tiff:RowsPerStrip", "oiio:subimages"};

std::string Cause(std::string text, const char* fallback) {
  text = OneLine(text);
  return text.empty() ? fallback : text;
}

bool IsFloatingPoint(OIIO::TypeDesc type) {
  return type.basetype == OIIO::TypeDesc::FLOAT || type.basetype == OIIO::TypeDesc::HALF ||
         type.basetype == OIIO::TypeDesc::DOUBLE;
}

// Formats that hold 16-bit samples but no floating point. Left alone, a
// floating-point input would be written to them with 8 bits.
bool Holds16BitButNoFloat(const std::string& formatName) {
  return formatName == "png" || formatName == "pnm" || formatName == "sgi";
}

std::vector<int> ChooseColourChannels(const OIIO::ImageSpec& spec) {
  std::vector<int> channels;
  for (int c = 0; c < spec.nchannels && static_cast<int>(channels.size()) < kMaxImageChannels; ++c) {
    if (c != spec.alpha_channel && c != spec.z_channel) channels.push_back(c);
  }
  return channels;
}

}  // namespace

void ImageDeleter::operator()(Image* image) const { DeleteImage(image); }

float FullScale(OIIO::TypeDesc type) {
  switch (type.basetype) {
    case OIIO::TypeDesc::UINT8: return 255.0f;
    case OIIO::TypeDesc::INT8: return 127.0f;
    case OIIO::TypeDesc::UINT16: return 65535.0f;
    case OIIO::TypeDesc::INT16: return 32767.0f;
    case OIIO::TypeDesc::UINT32: return 4294967295.0f;
    case OIIO::TypeDesc::INT32: return 2147483647.0f;
    default: return 1.0f;
  }
}

DecodedImage ReadImageFile(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) throw FileError(path, std::string("cannot read: ") + std::strerror(errno));
  if (S_ISDIR(info.st_mode)) throw FileError(path, "cannot read: it is a folder");

  // Colour samples as stored: no premultiplying by alpha on the way in, so
  // that nothing changes on the way out but the denoising.
  OIIO::ImageSpec config;
  config.attribute("oiio:UnassociatedAlpha", 1);
  std::unique_ptr<OIIO::ImageInput> in = OIIO::ImageInput::open(path, &config);
  if (!in) throw FileError(path, "cannot read: " + Cause(OIIO::geterror(), "not an image file that can be read"));

  DecodedImage image;
  image.spec = in->spec();
  image.formatName = in->format_name();
  const OIIO::ImageSpec& spec = image.spec;
  if (spec.deep) throw FileError(path, "deep images are not supported");
  if (spec.depth > 1) throw FileError(path, "volume images are not supported");
  image.colourChannels = ChooseColourChannels(spec);
  if (image.colourChannels.empty()) throw FileError(path, "the image has no colour channel to denoise");
  image.scale = FullScale(spec.format);

  const std::size_t count = static_cast<std::size_t>(spec.width) * static_cast<std::size_t>(spec.height) *
                            static_cast<std::size_t>(spec.nchannels);
  try {
    image.pixels.resize(count);
  } catch (const std::bad_alloc&) {
    throw FileError(path, "not enough memory for a " + std::to_string(spec.width) + "x" + std::to_string(spec.height) +
                              " image");
  }
  if (!in->read_image(0, 0, 0, spec.nchannels, OIIO::TypeFloat, image.pixels.data())) {
    throw FileError(path, "cannot read: " + Cause(in->geterror(), "the file is damaged or incomplete"));
  }
  in->close();

  // One NaN would spread over the whole image in a few iterations.
  const std::size_t stride = static_cast<std::size_t>(spec.nchannels);
  for (int c : image.colourChannels) {
    for (std::size_t i = static_cast<std::size_t>(c); i < count; i += stride) {
      if (!std::isfinite(image.pixels[i])) {
        image.pixels[i] = 0.0f;
        ++image.replacedNonFinite;
      }
    }
  }
  return image;
}

HostImagePtr MakeWorkingImage(const DecodedImage& image) {
  const OIIO::ImageSpec& spec = image.spec;
  const int channels = static_cast<int>(image.colourChannels.size());
  HostImagePtr work(CreateImage(spec.width, spec.height, channels, image.scale));
  const std::size_t plane = static_cast<std::size_t>(spec.width) * static_cast<std::size_t>(spec.height);
  const std::size_t stride = static_cast<std::size_t>(spec.nchannels);
  for (int c = 0; c < channels; ++c) {
    float* out = ImagePlane(work.get(), c);
    const float* in = image.pixels.data() + image.colourChannels[static_cast<std::size_t>(c)];
    for (std::size_t i = 0; i < plane; ++i) out[i] = in[i * stride] * image.scale;
  }
  return work;
}

void StoreWorkingImage(const Image* work, DecodedImage& image) {
  const std::size_t plane = static_cast<std::size_t>(image.spec.width) * static_cast<std::size_t>(image.spec.height);
  const std::size_t stride = static_cast<std::size_t>(image.spec.nchannels);
  const float inverse = 1.0f / image.scale;
  for (std::size_t c = 0; c < image.colourChannels.size(); ++c) {
    const float* in = ImagePlane(work, static_cast<int>(c));
    float* out = image.pixels.data() + image.colourChannels[c];
    for (std::size_t i = 0; i < plane; ++i) out[i * stride] = in[i] * inverse;
  }
}

void RequireWritableFormat(const std::string& path) {
  if (!OIIO::ImageOutput::create(path)) {
    OIIO::geterror();  // consumed, so that it does not surface later
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    throw UsageError(path + ": " +
                     (hasExtension ? "no image format is known for the extension '" + path.substr(dot) + "'"
                                   : std::string("the name needs an extension that gives the format (.png, .tif, ...)")));
  }
}

void WriteImageFile(const std::string& path, const DecodedImage& image, const std::function<void()>& beforeCommit) {
  std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(path);
  if (!out) throw FileError(path, "cannot write: " + Cause(OIIO::geterror(), "unknown image format"));
  OIIO::ImageSpec spec = image.spec;
  if (out->format_name() != image.formatName) {
    for (const char* name : kStorageAttributes) spec.erase_attribute(name);
    // Some writers (PNM) take their depth from here rather than the type.
    if (!IsFloatingPoint(spec.format)) spec.attribute("oiio:BitsPerSample", static_cast<int>(spec.format.size() * 8));
  }
  if (!out->supports("tiles")) spec.tile_width = spec.tile_height = spec.tile_depth = 0;
  if (IsFloatingPoint(spec.format) && Holds16BitButNoFloat(out->format_name())) {
    spec.set_format(OIIO::TypeUInt16);
    spec.channelformats.clear();
    spec.attribute("oiio:BitsPerSample", 16);
  }

  AtomicOutput file(path);
  if (!out->open(file.TemporaryPath(), spec)) {
    throw FileError(path, "cannot write: " + Cause(out->geterror(), "the format does not take this image"));
  }
  const bool written = out->write_image(OIIO::TypeFloat, image.pixels.data());
  const bool closed = out->close();
  if (!written || !closed) throw FileError(path, "cannot write: " + Cause(out->geterror(), "write failed"));
  if (beforeCommit) beforeCommit();
  file.Commit();
}

}  // namespace calvane::app
