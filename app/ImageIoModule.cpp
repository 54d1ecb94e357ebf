// The image input/output module (see ImageIoModule.h): reading and writing
// image files with the image library. Built with hidden visibility; its
// one exported symbol is the entry point at the end.
#include "app/ImageIoModule.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cctype>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <utility>

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

#include "app/AtomicOutput.h"
#include "app/ErrorReporting.h"
#include "app/ExitStatus.h"
#include "app/Interrupt.h"
#include "app/PnmEncoding.h"
#include "app/StderrCapture.h"
#include "hostlib/HostImage.h"

namespace calvane::app {

struct FileLayout {
  OIIO::ImageSpec spec;
};

namespace {

// Attributes that describe how one format stored the pixels, not the
// picture; another format would misread them.
constexpr int kPngCompressionLevel = 3;

const char* const kStorageAttributes[] = {"compression", "Compression", "CompressionQuality", "oiio:BitsPerSample",
                                          "planarconfig", "tiff:RowsPerStrip", "oiio:subimages"};

// The first line of a library's error text: the later ones repeat it.
std::string FirstLine(const std::string& text) {
  const std::size_t start = text.find_first_not_of("\n");
  if (start == std::string::npos) return {};
  return text.substr(start, text.find('\n', start) - start);
}

// The GIF reader decodes the whole first frame into a canvas the size of
// the file's logical screen as it opens it, before the header can be looked
// at; so that size is read here first. 0x0: not a GIF.
struct GifScreen {
  std::uint64_t width = 0;
  std::uint64_t height = 0;
};

GifScreen ReadGifScreen(const std::string& path) {
  unsigned char header[10] = {};
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return {};
  const std::size_t got = std::fread(header, 1, sizeof header, file);
  std::fclose(file);
  // The GIF library looks at "GIF" alone, whatever version follows.
  if (got < sizeof header || std::memcmp(header, "GIF", 3) != 0) return {};
  return {static_cast<std::uint64_t>(header[6] | (header[7] << 8)), static_cast<std::uint64_t>(header[8] | (header[9] << 8))};
}

// libpng allocates what a chunk declares before it reads the chunk, and
// fills it: a 300-byte file declaring a 1.7 GB text chunk took that much
// memory. A chunk that runs past the end of the file is damage, whatever
// its kind, and is refused here first. False for anything but a PNG.
bool PngChunkRunsPastTheEnd(const std::string& path, std::uint64_t fileSize) {
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  unsigned char bytes[8] = {};
  if (!file || std::fread(bytes, 1, 8, file.get()) != 8 || std::memcmp(bytes, kSignature, 8) != 0) return false;
  std::uint64_t at = 8;
  while (std::fread(bytes, 1, 8, file.get()) == 8) {
    const std::uint64_t length = (std::uint64_t{bytes[0]} << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3];
    at += 12 + length;  // length, type, data, check sum
    if (at > fileSize) return true;
    if (std::memcmp(bytes + 4, "IEND", 4) == 0) return false;
    if (std::fseek(file.get(), static_cast<long>(at), SEEK_SET) != 0) return true;
  }
  return false;
}

bool EncodesInMemory(const std::string& formatName) {
  return formatName == "png" || formatName == "jpeg" || formatName == "bmp";
}

// Whether the file system of `file` has less room left than the image's
// pixels take: a write that failed there failed for want of room. Named as
// the cause only then.
bool DiskIsFull(const std::string& file, const OIIO::ImageSpec& spec) {
  struct statvfs disk {};
  const std::size_t slash = file.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : file.substr(0, slash + 1);
  return statvfs(folder.c_str(), &disk) == 0 &&
         static_cast<double>(disk.f_bavail) * static_cast<double>(disk.f_frsize) < static_cast<double>(spec.image_bytes(true));
}

// A file written by path is trusted only once it reads back whole: every
// image of it, in its size.
void RequireReadableBack(const std::string& path, const std::string& written, const std::vector<OIIO::ImageSpec>& specs) {
  std::unique_ptr<OIIO::ImageInput> in = OIIO::ImageInput::open(written);
  bool whole = in != nullptr;
  for (std::size_t i = 0; whole && i < specs.size(); ++i) {
    // The channel count may differ: some formats add or drop channels by
    // design (CheckOutputFormat notes it), which is no damage.
    whole = in->seek_subimage(static_cast<int>(i), 0) && in->spec().width == specs[i].width &&
            in->spec().height == specs[i].height;
    if (whole) {
      std::vector<unsigned char> pixels(in->spec().image_bytes(true));
      whole = in->read_image(static_cast<int>(i), 0, 0, in->spec().nchannels, OIIO::TypeUnknown, pixels.data()) &&
              !in->has_error();
    }
  }
  // No more images than were written.
  if (whole && in->seek_subimage(static_cast<int>(specs.size()), 0)) whole = false;
  if (in) in->geterror();
  OIIO::geterror();
  if (whole) return;
  // The usual cause is a full disk, which the encoder did not notice.
  throw FileError(path, DiskIsFull(written, specs.front()) ? "cannot write: the disk is full (the file did not come out whole)"
                                                           : "cannot write: the file written does not read back whole");
}

std::string Cause(std::string text, const char* fallback) {
  text = OneLine(text);
  return text.empty() ? fallback : text;
}

bool IsFloatingPoint(OIIO::TypeDesc type) {
  return type.basetype == OIIO::TypeDesc::FLOAT || type.basetype == OIIO::TypeDesc::HALF ||
         type.basetype == OIIO::TypeDesc::DOUBLE;
}

// The largest sample magnitude the flow takes: the engine's projection
// multiplies samples by ratios up to 2^64, which must stay finite.
constexpr float kLargestSample = 1e18f;

// The GIF reader's canvas: red, green, blue and alpha.
constexpr std::uint64_t kGifCanvasChannels = 4;

// Formats that hold 16-bit samples but no floating point. Left alone, a
// floating-point input would be written to them with 8 bits.
bool Holds16BitButNoFloat(const std::string& formatName) {
  return formatName == "png" || formatName == "pnm" || formatName == "sgi";
}

// The last part of a channel name ("A" of "diffuse.A"), in lower case.
std::string ChannelRole(const std::string& name) {
  std::string role = name.substr(name.rfind('.') == std::string::npos ? 0 : name.rfind('.') + 1);
  for (char& ch : role) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return role;
}

// Channels that are no colour and pass through unchanged: the format's own
// alpha and depth channels, and channels named (ignoring a layer prefix such
// as "diffuse.") as alpha (A, Alpha, and the per-colour AR, AG, AB), as
// depth (Z, ZBack, Depth) or as masks (Mask, Matte).
bool PassesThrough(const OIIO::ImageSpec& spec, int channel) {
  static const char* const kRoles[] = {"a", "alpha", "ar", "ag", "ab", "z", "zback", "depth", "mask", "matte"};
  if (channel == spec.alpha_channel || channel == spec.z_channel) return true;
  if (channel >= static_cast<int>(spec.channelnames.size())) return false;
  const std::string role = ChannelRole(spec.channelnames[static_cast<std::size_t>(channel)]);
  return std::find(std::begin(kRoles), std::end(kRoles), role) != std::end(kRoles);
}

// Every channel that is not alpha, depth or a mask is colour, and denoised.
std::vector<int> ChooseColourChannels(const OIIO::ImageSpec& spec) {
  std::vector<int> channels;
  for (int c = 0; c < spec.nchannels; ++c) {
    if (!PassesThrough(spec, c)) channels.push_back(c);
  }
  return channels;
}

// What `out` is asked to write for `image`: its type and metadata, less what
// only the input's format understood.
OIIO::ImageSpec WriterSpec(const OIIO::ImageOutput& out, const DecodedImage& image) {
  OIIO::ImageSpec spec = image.layout->spec;
  if (out.format_name() != image.formatName) {
    for (const char* name : kStorageAttributes) spec.erase_attribute(name);
    // Some writers (PNM) take their depth from here rather than the type.
    if (!IsFloatingPoint(spec.format)) spec.attribute("oiio:BitsPerSample", static_cast<int>(spec.format.size() * 8));
  }
  if (!out.supports("tiles")) spec.tile_width = spec.tile_height = spec.tile_depth = 0;
  // PNG's deflate at level 3 writes a photograph three times faster than at
  // the encoder's 6, for a file about 6 % larger.
  if (std::string(out.format_name()) == "png") spec.attribute("png:compressionLevel", kPngCompressionLevel);
  if (IsFloatingPoint(spec.format) && Holds16BitButNoFloat(out.format_name())) {
    spec.set_format(OIIO::TypeUInt16);
    spec.channelformats.clear();
    spec.attribute("oiio:BitsPerSample", 16);
  }
  return spec;
}

// "8-bit", "16-bit", "floating-point": the depth of samples of a type.
std::string DepthName(OIIO::TypeDesc type) {
  if (IsFloatingPoint(type)) return "floating-point";
  return std::to_string(type.size() * 8) + "-bit";
}

// Whether samples of `to` hold less than those of `from`.
bool LosesDepth(OIIO::TypeDesc from, OIIO::TypeDesc to) {
  if (IsFloatingPoint(from)) return !IsFloatingPoint(to);
  return !IsFloatingPoint(to) && to.size() < from.size();
}

std::string ChannelCount(int channels) { return std::to_string(channels) + (channels == 1 ? " channel" : " channels"); }

std::string ExtensionOf(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  const std::size_t slash = path.rfind('/');
  return dot == std::string::npos || (slash != std::string::npos && dot < slash) ? std::string() : path.substr(dot);
}

// The refusal of a file whose header declares more samples than the limit.
AppError TooManySamples(const std::string& path, std::uint64_t width, std::uint64_t height, int channels,
                        std::uint64_t maxSamples) {
  return FileError(path, "the image declares " + std::to_string(width) + "x" + std::to_string(height) + " pixels of " +
                             ChannelCount(channels) + ", more than the limit of " + std::to_string(maxSamples) +
                             " samples (--max-samples); nothing was decoded");
}

// The size of the regular file at `path`; a FileError for anything else.
std::uint64_t RequireRegularFile(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) throw FileError(path, std::string("cannot read: ") + std::strerror(errno));
  if (S_ISDIR(info.st_mode)) throw FileError(path, "cannot read: it is a folder");
  // A pipe or a device would keep a reader waiting, or feeding it, forever.
  if (!S_ISREG(info.st_mode)) throw FileError(path, "cannot read: not a regular file");
  return static_cast<std::uint64_t>(info.st_size);
}

// What readers would allocate on opening, before their header can be
// checked, is checked here from the file's bytes.
void RefuseBeforeOpening(const std::string& path, std::uint64_t fileSize, std::uint64_t maxSamples) {
  const GifScreen screen = ReadGifScreen(path);
  if (screen.width * screen.height > maxSamples / kGifCanvasChannels) {
    throw TooManySamples(path, screen.width, screen.height, static_cast<int>(kGifCanvasChannels), maxSamples);
  }
  if (PngChunkRunsPastTheEnd(path, fileSize)) {
    throw FileError(path, "cannot read: the file is damaged or incomplete (a PNG chunk runs past its end)");
  }
}

// A reader open on `path`, its notes on opening consumed; a FileError with
// the reader's cause, or what the library printed, when none opens it.
std::unique_ptr<OIIO::ImageInput> OpenReader(const std::string& path, StderrCapture& libraryMessages) {
  // Colour samples as stored: no premultiplying by alpha on the way in, so
  // that nothing changes on the way out but the denoising.
  OIIO::ImageSpec config;
  config.attribute("oiio:UnassociatedAlpha", 1);
  std::unique_ptr<OIIO::ImageInput> in;
  try {
    in = OIIO::ImageInput::open(path, &config);
  } catch (const std::exception& error) {
    // Some readers let their allocation failures out.
    throw FileError(path, "cannot read: " + Cause(error.what(), "the reader failed"));
  }
  if (!in) {
    const std::string cause = FirstLine(OIIO::geterror());
    throw FileError(path, "cannot read: " + Cause(cause.empty() ? libraryMessages.Finish() : cause,
                                                  "not an image file that can be read"));
  }
  in->geterror();  // what the reader noted while opening is not about the pixels
  return in;
}

// Refuses, before a single pixel is decoded, what the header declares and
// the flow cannot take.
void RequireDecodableGeometry(const std::string& path, const OIIO::ImageSpec& spec, std::uint64_t maxSamples) {
  if (spec.deep) throw FileError(path, "deep images are not supported");
  if (spec.depth > 1) throw FileError(path, "volume images are not supported");
  if (spec.width <= 0 || spec.height <= 0 || spec.nchannels <= 0) throw FileError(path, "the file declares no pixels");
  // The product cannot overflow, each factor being below 2^31.
  const std::uint64_t pixels = static_cast<std::uint64_t>(spec.width) * static_cast<std::uint64_t>(spec.height);
  if (pixels > maxSamples / static_cast<std::uint64_t>(spec.nchannels)) {
    throw TooManySamples(path, static_cast<std::uint64_t>(spec.width), static_cast<std::uint64_t>(spec.height),
                         spec.nchannels, maxSamples);
  }
}

// Decodes every channel of image `subimage` of `in` into `image.pixels` as
// floats (integer data scaled to 0..1).
void DecodePixels(const std::string& path, OIIO::ImageInput& in, int subimage, DecodedImage& image,
                  StderrCapture& libraryMessages) {
  const std::size_t count = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) *
                            static_cast<std::size_t>(image.channels);
  try {
    image.pixels.resize(count);
  } catch (const std::bad_alloc&) {
    throw FileError(path, "not enough memory for a " + std::to_string(image.width) + "x" + std::to_string(image.height) +
                              " image");
  }
  // Some decoders (JPEG's) fill in what a damaged or cut-off file lacks and
  // only note it: a note is a failure here, or a grey band would be
  // denoised and written as if it were the picture.
  bool read = false;
  try {
    read = in.read_image(subimage, 0, 0, image.channels, OIIO::TypeFloat, image.pixels.data());
  } catch (const std::exception& error) {
    throw FileError(path, "cannot read: the file is damaged or incomplete (" + OneLine(error.what()) + ")");
  }
  if (!read || in.has_error()) {
    const std::string cause = FirstLine(in.geterror());
    const std::string printed = libraryMessages.Finish();
    throw FileError(path, "cannot read: the file is damaged or incomplete" +
                              (cause.empty() && printed.empty() ? std::string() : " (" + (cause.empty() ? printed : cause) + ")"));
  }
}

// One NaN would spread over the whole image in a few iterations, and no
// value put in its place would be the picture's. Samples past kLargestSample
// would overflow single precision in the flow's own arithmetic. Channels
// that are not denoised (alpha, depth) are left to hold what they hold.
void RequireFlowableColour(const std::string& path, const DecodedImage& image) {
  std::size_t nonFinite = 0;
  std::size_t tooLarge = 0;
  const std::size_t stride = static_cast<std::size_t>(image.channels);
  for (int c : image.colourChannels) {
    for (std::size_t i = static_cast<std::size_t>(c); i < image.pixels.size(); i += stride) {
      const float sample = image.pixels[i];
      if (!std::isfinite(sample)) {
        ++nonFinite;
      } else if (std::fabs(sample) * image.scale > kLargestSample) {
        ++tooLarge;
      }
    }
  }
  if (nonFinite > 0) {
    throw FileError(path, "holds " + std::to_string(nonFinite) + (nonFinite == 1 ? " sample that is" : " samples that are") +
                              " not a number or infinite; the flow would spread them to every neighbour");
  }
  if (tooLarge > 0) {
    throw FileError(path, "holds " + std::to_string(tooLarge) + (tooLarge == 1 ? " sample" : " samples") +
                              " beyond +-1e18, too large for the flow's single precision");
  }
}

// Writes a corner of the image, in its channels, type and metadata, the way
// the whole will be written, to the temporary file an output at `path`
// uses, and returns what that file reads back as: what the writer refuses
// here it refuses then. A UsageError when `kind` cannot hold an image
// `described` so, a FileError when the folder or the writer fails.
OIIO::ImageSpec WriteCornerAndReadBack(const std::string& path, OIIO::ImageOutput& out, const OIIO::ImageSpec& spec,
                                       const std::string& kind, const std::string& described) {
  OIIO::ImageSpec corner = spec;
  corner.width = corner.full_width = std::min(spec.width, 8);
  corner.height = corner.full_height = std::min(spec.height, 8);
  corner.tile_width = corner.tile_height = corner.tile_depth = 0;
  AtomicOutput file(path);
  StderrCapture libraryMessages;
  // Encoded in memory where the whole will be, so that a full disk is told
  // as such here too (see WriteImageFile).
  const bool inMemory = EncodesInMemory(out.format_name()) && out.supports("ioproxy");
  OIIO::Filesystem::IOVecOutput encoded;
  if (inMemory) out.set_ioproxy(&encoded);
  if (!out.open(file.TemporaryPath(), corner)) {
    libraryMessages.Finish();
    throw UsageError(path + ": " + kind + " cannot hold this image of " + described + " (" +
                     Cause(FirstLine(out.geterror()), "the writer refused it") + "); choose another extension, such as .tif");
  }
  const std::vector<float> zeros(corner.image_pixels() * static_cast<std::size_t>(corner.nchannels), 0.0f);
  const bool written = out.write_image(OIIO::TypeFloat, zeros.data());
  const bool closed = out.close();
  if (!written || !closed) {
    libraryMessages.Finish();
    throw FileError(path, "cannot write: " + Cause(FirstLine(out.geterror()), "write failed"));
  }
  if (inMemory) file.Write(encoded.buffer().data(), encoded.buffer().size());
  std::unique_ptr<OIIO::ImageInput> in = OIIO::ImageInput::open(file.TemporaryPath());
  if (!in) {
    OIIO::geterror();
    libraryMessages.Finish();
    throw FileError(path, "cannot write: " + kind + " wrote a file that cannot be read back");
  }
  const OIIO::ImageSpec back = in->spec();
  in->close();
  libraryMessages.Finish();
  return back;
}

// The PNM writer of the image library stores 16-bit samples wrongly: 8-bit
// values, a byte out of step, the rest of each row left unset; the file
// reads back as 16-bit noise. So 16-bit grey and colour maps are encoded
// by the program's own encoder, as the format defines them (P2 or P3 where
// the input was text).
bool EncodesSixteenBitPnmItself(const std::string& formatName, const OIIO::ImageSpec& spec) {
  return formatName == "pnm" && spec.format == OIIO::TypeUInt16 && (spec.nchannels == 1 || spec.nchannels == 3);
}

// The full-scale value of a data type: 255 for 8 bits, 65535 for 16 bits,
// 1 for floating point.
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


// File units per working unit for samples of `type`: a power of two (so
// the division is exact) that brings the type's full scale to at most
// 2^16. Integers of up to 16 bits and floating point keep their own units;
// 32-bit integers, whose noise levels run to hundreds of millions, are
// worked on in units of 2^16 or 2^15, where levels are what they are for
// 16-bit data.
float WorkingUnit(OIIO::TypeDesc type) {
  const int bits = static_cast<int>(std::ceil(std::log2(static_cast<double>(FullScale(type)))));
  return bits > 16 ? std::ldexp(1.0f, bits - 16) : 1.0f;
}

// The layout and channel roles of the image at the reader's current
// subimage, its geometry checked.
DecodedImage DescribeImage(const std::string& path, const OIIO::ImageInput& in, std::uint64_t maxSamples) {
  DecodedImage image;
  image.layout = std::make_shared<FileLayout>(FileLayout{in.spec()});
  image.formatName = in.format_name();
  const OIIO::ImageSpec& spec = image.layout->spec;
  RequireDecodableGeometry(path, spec, maxSamples);
  image.width = spec.width;
  image.height = spec.height;
  image.channels = spec.nchannels;
  image.colourChannels = ChooseColourChannels(spec);
  if (image.colourChannels.empty()) throw FileError(path, "the image has no colour channel to denoise");
  if (image.colourChannels.size() > static_cast<std::size_t>(kMaxImageChannels)) {
    throw FileError(path, "the image has " + std::to_string(image.colourChannels.size()) +
                              " colour channels, more than the " + std::to_string(kMaxImageChannels) +
                              " the flow takes");
  }
  image.scale = FullScale(spec.format);
  image.unit = WorkingUnit(spec.format);
  return image;
}

std::vector<DecodedImage> ReadImages(const std::string& path, std::uint64_t maxSamples, bool allImages) {
  const std::uint64_t fileSize = RequireRegularFile(path);
  RefuseBeforeOpening(path, fileSize, maxSamples);
  StderrCapture libraryMessages;
  const std::unique_ptr<OIIO::ImageInput> in = OpenReader(path, libraryMessages);

  // Every header first: all the images are held at once, so the limit is on
  // their samples together, and nothing is decoded when they pass it.
  std::vector<DecodedImage> images;
  std::uint64_t samples = 0;
  for (int subimage = 0; subimage == 0 || (allImages && in->seek_subimage(subimage, 0)); ++subimage) {
    images.push_back(DescribeImage(path, *in, maxSamples));
    const DecodedImage& image = images.back();
    samples += static_cast<std::uint64_t>(image.width) * static_cast<std::uint64_t>(image.height) *
               static_cast<std::uint64_t>(image.channels);
    if (samples > maxSamples) {
      throw FileError(path, "its first " + std::to_string(images.size()) + " images declare " + std::to_string(samples) +
                                " samples together, more than the limit of " + std::to_string(maxSamples) +
                                " samples (--max-samples); nothing was decoded");
    }
  }
  in->geterror();  // the failed seek past the last image is no error
  for (std::size_t i = 0; i < images.size(); ++i) {
    DecodePixels(path, *in, static_cast<int>(i), images[i], libraryMessages);
    RequireFlowableColour(path, images[i]);
  }
  in->close();
  libraryMessages.Finish();
  return images;
}

}  // namespace

// The functions of the table. They are named as in ImageFile.h, whose
// declarations in calvane::app the program's forwarders define; these are
// the module's own, and hidden.
namespace imageio {

std::vector<std::string> CheckOutputFormat(const std::string& path, const DecodedImage& image);

DecodedImage ReadImageFile(const std::string& path, std::uint64_t maxSamples) {
  return std::move(ReadImages(path, maxSamples, false).front());
}

std::vector<DecodedImage> ReadImagePages(const std::string& path, std::uint64_t maxSamples) {
  return ReadImages(path, maxSamples, true);
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

void RequireRoomForImages(const std::string& path, const std::string& input, std::size_t images) {
  if (images <= 1) return;
  std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(path);
  if (!out) {
    RequireWritableFormat(path);
    throw FileError(path, "cannot write: " + Cause(OIIO::geterror(), "unknown image format"));
  }
  if (out->supports("multiimage")) return;
  throw UsageError(path + ": the " + ExtensionOf(path) + " format holds a single image, and " + input + " has " +
                   std::to_string(images) + " (pages or parts); choose a format that holds them all, such as .tif or .exr");
}

std::vector<std::string> CheckOutputFormat(const std::string& path, const std::string& input,
                                           const std::vector<DecodedImage>& images) {
  RequireRoomForImages(path, input, images.size());
  // Images alike in channels and depth are written alike: one of each kind
  // is tried.
  std::vector<std::string> notes;
  std::vector<std::pair<int, OIIO::TypeDesc>> tried;
  for (const DecodedImage& image : images) {
    const std::pair<int, OIIO::TypeDesc> kind{image.channels, image.layout->spec.format};
    if (std::find(tried.begin(), tried.end(), kind) != tried.end()) continue;
    tried.push_back(kind);
    for (std::string& note : imageio::CheckOutputFormat(path, image)) {
      if (std::find(notes.begin(), notes.end(), note) == notes.end()) notes.push_back(std::move(note));
    }
  }
  return notes;
}

std::vector<std::string> CheckOutputFormat(const std::string& path, const DecodedImage& image) {
  std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(path);
  if (!out) {
    RequireWritableFormat(path);
    throw FileError(path, "cannot write: " + Cause(OIIO::geterror(), "unknown image format"));
  }
  const OIIO::ImageSpec spec = WriterSpec(*out, image);
  const std::string kind = "the " + ExtensionOf(path) + " format";
  const OIIO::TypeDesc depth = image.layout->spec.format;
  const std::string described = ChannelCount(spec.nchannels) + " of " + DepthName(depth) + " samples";
  const OIIO::ImageSpec back = WriteCornerAndReadBack(path, *out, spec, kind, described);

  std::vector<std::string> notes;
  std::string what;
  if (LosesDepth(depth, back.format)) what = DepthName(back.format) + " samples (the input has " + DepthName(depth) + ")";
  if (back.nchannels != spec.nchannels) {
    what += (what.empty() ? "" : ", ") + ChannelCount(back.nchannels) + " (the input has " +
            std::to_string(spec.nchannels) + ")";
  }
  if (!what.empty()) notes.push_back(path + ": written with " + what + ", as " + kind + " stores them");
  if (out->format_name() == std::string("gif")) {
    notes.push_back(path + ": " + kind + " holds at most 256 colours; the result is reduced to them");
  }
  return notes;
}

void WriteImagePages(const std::string& path, const std::vector<const DecodedImage*>& pages,
                     const std::function<void()>& beforeCommit) {
  std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(path);
  if (!out) throw FileError(path, "cannot write: " + Cause(OIIO::geterror(), "unknown image format"));
  if (pages.empty()) throw FileError(path, "cannot write: no image to write");
  if (pages.size() > 1 && !out->supports("multiimage")) {
    throw UsageError(path + ": the " + ExtensionOf(path) + " format holds a single image, not " +
                     std::to_string(pages.size()));
  }
  std::vector<OIIO::ImageSpec> specs;
  for (const DecodedImage* page : pages) specs.push_back(WriterSpec(*out, *page));
  const OIIO::ImageSpec& spec = specs.front();

  AtomicOutput file(path);
  if (pages.size() == 1 && EncodesSixteenBitPnmItself(out->format_name(), spec)) {
    const std::vector<unsigned char> encoded =
        EncodeSixteenBitPnm(spec.width, spec.height, spec.nchannels, spec.get_int_attribute("pnm:binary", 1) != 0,
                            pages.front()->pixels);
    file.Write(encoded.data(), encoded.size());
    if (beforeCommit) beforeCommit();
    file.Commit();
    return;
  }
  // Several encoders do not notice when the disk refuses their writes (PNG
  // and BMP write on, JPEG's ends the process): those are encoded in memory
  // and written here, where every write is checked. Files of other formats
  // are read back before they count as written (TIFF's encoder, for one,
  // writes broken files into memory).
  const bool inMemory = EncodesInMemory(out->format_name()) && out->supports("ioproxy");
  OIIO::Filesystem::IOVecOutput encoded;
  if (inMemory) out->set_ioproxy(&encoded);
  // Several images are announced together (a multi-part OpenEXR file needs
  // every part's header first), then written in order.
  bool written = pages.size() == 1 ? out->open(file.TemporaryPath(), spec)
                                   : out->open(file.TemporaryPath(), static_cast<int>(specs.size()), specs.data());
  if (!written) {
    throw FileError(path, "cannot write: " + Cause(FirstLine(out->geterror()), "the format does not take this image"));
  }
  for (std::size_t i = 0; written && i < pages.size(); ++i) {
    if (i > 0) written = out->open(file.TemporaryPath(), specs[i], OIIO::ImageOutput::AppendSubimage);
    written = written && out->write_image(OIIO::TypeFloat, pages[i]->pixels.data());
  }
  const bool closed = out->close();
  if (!written || !closed) {
    throw FileError(path, "cannot write: " + Cause(FirstLine(out->geterror()), "write failed") +
                              (!inMemory && DiskIsFull(file.TemporaryPath(), spec) ? " (the disk is full)" : ""));
  }
  if (inMemory) {
    file.Write(encoded.buffer().data(), encoded.buffer().size());
  } else {
    RequireReadableBack(path, file.TemporaryPath(), specs);
  }
  if (beforeCommit) beforeCommit();
  file.Commit();
}

}  // namespace imageio

namespace {

ImageIoProgramServices g_program{};

}  // namespace

// The program's own, through the services it handed over.
void SetAbortCleanupPath(const char* path) { g_program.setAbortCleanupPath(path); }
std::string OneLine(const std::string& text) { return g_program.oneLine(text); }

}  // namespace calvane::app

extern "C" __attribute__((visibility("default"))) const calvane::app::ImageIoFunctions* calvimageio_functions(
    const calvane::app::ImageIoProgramServices* program) {
  using namespace calvane::app;
  static constexpr ImageIoFunctions kFunctions{kImageIoInterfaceVersion,
                                               &imageio::ReadImageFile,
                                               &imageio::ReadImagePages,
                                               &imageio::RequireWritableFormat,
                                               &imageio::CheckOutputFormat,
                                               &imageio::RequireRoomForImages,
                                               &imageio::CheckOutputFormat,
                                               &imageio::WriteImagePages};
  g_program = *program;
  return &kFunctions;
}
