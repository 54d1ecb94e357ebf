#include "app/DirectImageFiles.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <csetjmp>
#include <limits>
#include <memory>
#include <new>

#include "app/AtomicOutput.h"
#include "app/ExitStatus.h"
#include "app/PnmEncoding.h"

namespace calvane::app {
namespace {

// A file descriptor, closed at the end of its scope.
struct OpenFile {
  explicit OpenFile(int descriptor) : fd(descriptor) {}
  ~OpenFile() {
    if (fd >= 0) close(fd);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  const int fd;
};

// The whole of a regular file that begins as a PNG or a binary PNM, or
// nothing when it is none (a folder, a pipe that would wait for a writer, a
// device that never ends, another format), cannot be read, or is larger
// than any of them holding `maxSamples` samples could be (two bytes each,
// and a megabyte of chunks): the module then says what it is.
std::optional<std::vector<unsigned char>> FileBytes(const std::string& path, std::uint64_t maxSamples) {
  // Opened without waiting (for a pipe's writer), then looked at.
  const OpenFile file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  const int fd = file.fd;
  if (fd < 0) return std::nullopt;
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
  const std::uint64_t largest =
      maxSamples > (std::numeric_limits<std::uint64_t>::max() >> 2) ? maxSamples : 2 * maxSamples + (1 << 20);
  if (static_cast<std::uint64_t>(status.st_size) > largest) return std::nullopt;
  unsigned char start[2] = {};
  if (pread(fd, start, 2, 0) != 2 || !((start[0] == 0x89 && start[1] == 'P') ||
                                       (start[0] == 'P' && (start[1] == '5' || start[1] == '6')))) {
    return std::nullopt;
  }
  // Read to its end, however long it turns out to be.
  std::vector<unsigned char> bytes;
  std::size_t size = 0;
  try {
    bytes.resize(static_cast<std::size_t>(status.st_size) + 1);
    for (;;) {
      if (size == bytes.size()) bytes.resize(2 * bytes.size());
      const ssize_t got = read(fd, bytes.data() + size, bytes.size() - size);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return std::nullopt;
      if (got == 0) break;
      size += static_cast<std::size_t>(got);
    }
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  bytes.resize(size);
  return bytes;
}

std::uint32_t BigEndian32(const unsigned char* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// Integer samples to 0..1 and back, as the module converts them: times the
// reciprocal of the full scale (not divided by it, which differs in the
// last bit); clamped, scaled and rounded to the nearest step.
float FromInteger(unsigned value, float fullScale) { return static_cast<float>(value) * (1.0f / fullScale); }
unsigned ToInteger(float sample, float fullScale) {
  // Rounded half away from zero, as lround does, without the call: the
  // fraction of a float of at most 65535 is exact.
  const float scaled = std::min(1.0f, std::max(0.0f, sample)) * fullScale;
  const auto whole = static_cast<unsigned>(scaled);
  return whole + (scaled - static_cast<float>(whole) >= 0.5f ? 1u : 0u);
}

// The chunks the module writes for a picture in sRGB, which it also reads
// back as nothing more than that.
constexpr unsigned char kSrgbGamma[] = {0x00, 0x00, 0xb1, 0x8f};  // 1 / 2.2, in 1/100000
constexpr unsigned char kSrgbChromaticities[] = {0x00, 0x00, 0x7a, 0x26, 0x00, 0x00, 0x80, 0x84, 0x00, 0x00, 0xfa,
                                                 0x00, 0x00, 0x00, 0x80, 0xe8, 0x00, 0x00, 0x75, 0x30, 0x00, 0x00,
                                                 0xea, 0x60, 0x00, 0x00, 0x3a, 0x98, 0x00, 0x00, 0x17, 0x70};
constexpr unsigned char kNoOffset[9] = {};
constexpr char kColourSpaceKey[] = "oiio:ColorSpace";
constexpr char kSrgbText[] = "oiio:ColorSpace\0sRGB";
constexpr char kRec709Text[] = "oiio:ColorSpace\0Rec709";

bool ChunkIs(const unsigned char* data, std::uint32_t length, const void* expected, std::size_t size) {
  return length == size && std::memcmp(data, expected, size) == 0;
}

struct PngHeader {
  std::uint32_t width = 0, height = 0;
  int bits = 0, channels = 0;
  DirectLayout::ColourSpace colourSpace = DirectLayout::ColourSpace::Srgb;
};

// A PNG taken here: 8 or 16 bits of grey, grey and alpha, colour or colour
// and alpha, not interlaced, its chunks whole and in order, nothing after
// its end, and no chunk but the image's own and those the module writes
// for a picture in sRGB (gamma, chromaticities, no offset, the colour
// space's name; any of them only with sRGB's own chunk) or in Rec. 709 (no
// offset, the name).
std::optional<PngHeader> PngTakenHere(const std::vector<unsigned char>& bytes) {
  static constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  if (bytes.size() < 8 || std::memcmp(bytes.data(), kSignature, 8) != 0) return std::nullopt;
  PngHeader header;
  bool srgb = false, srgbOnly = false, offset = false, rec709 = false, ended = false;
  std::size_t at = 8;
  for (int index = 0; !ended; ++index) {
    if (bytes.size() - at < 12) return std::nullopt;
    const std::uint32_t length = BigEndian32(&bytes[at]);
    if (length > bytes.size() - at - 12) return std::nullopt;
    const std::string type(reinterpret_cast<const char*>(&bytes[at + 4]), 4);
    const unsigned char* data = &bytes[at + 8];
    if ((index == 0) != (type == "IHDR")) return std::nullopt;
    if (type == "IHDR") {
      if (length != 13) return std::nullopt;
      header.width = BigEndian32(data);
      header.height = BigEndian32(data + 4);
      header.bits = data[8];
      static constexpr int kChannelsOfType[7] = {1, 0, 3, 0, 2, 0, 4};
      header.channels = data[9] <= 6 ? kChannelsOfType[data[9]] : 0;
      if ((header.bits != 8 && header.bits != 16) || header.channels == 0 || data[10] != 0 || data[11] != 0 ||
          data[12] != 0 || header.width == 0 || header.height == 0) {
        return std::nullopt;
      }
    } else if (type == "IEND") {
      ended = true;
    } else if (type == "sRGB" && length == 1 && data[0] <= 3) {
      srgb = true;
    } else if ((type == "gAMA" && ChunkIs(data, length, kSrgbGamma, sizeof kSrgbGamma)) ||
               (type == "cHRM" && ChunkIs(data, length, kSrgbChromaticities, sizeof kSrgbChromaticities)) ||
               (type == "tEXt" && ChunkIs(data, length, kSrgbText, sizeof kSrgbText - 1))) {
      srgbOnly = true;
    } else if (type == "oFFs" && ChunkIs(data, length, kNoOffset, sizeof kNoOffset)) {
      offset = true;
    } else if (type == "tEXt" && ChunkIs(data, length, kRec709Text, sizeof kRec709Text - 1)) {
      rec709 = true;
    } else if (type != "IDAT") {
      return std::nullopt;
    }
    at += 12 + static_cast<std::size_t>(length);
  }
  if (at != bytes.size()) return std::nullopt;
  if (rec709) {
    if (srgb || srgbOnly) return std::nullopt;
    header.colourSpace = DirectLayout::ColourSpace::Rec709;
  } else if ((srgbOnly || offset) && !srgb) {
    return std::nullopt;
  }
  return header;
}

// libpng reports an error by jumping back to where it was set up, and is
// told so here without a word on stderr: a file it cannot decode is the
// module's to explain.
void JumpBack(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void Ignore(png_structp, png_const_charp) {}

struct MemoryInput {
  const unsigned char* data;
  std::size_t size;
  std::size_t offset;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
  auto* input = static_cast<MemoryInput*>(png_get_io_ptr(png));
  if (count > input->size - input->offset) png_error(png, "cut short");
  std::memcpy(out, input->data + input->offset, count);
  input->offset += count;
}

// Decodes the rows of a PNG into `pixels` (0..1), a row at a time through
// `row`. Nothing here has a destructor to skip when libpng jumps back.
bool DecodePng(const std::vector<unsigned char>& bytes, const PngHeader& header, float* pixels, unsigned char* row) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, &JumpBack, &Ignore);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  MemoryInput input{bytes.data(), bytes.size(), 0};
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &input, &ReadFromMemory);
  png_read_info(png, info);
  const std::size_t samples = static_cast<std::size_t>(header.width) * static_cast<std::size_t>(header.channels);
  const float fullScale = header.bits == 16 ? 65535.0f : 255.0f;
  for (std::uint32_t y = 0; y < header.height; ++y) {
    png_read_row(png, row, nullptr);
    float* out = pixels + static_cast<std::size_t>(y) * samples;
    if (header.bits == 8) {
      for (std::size_t i = 0; i < samples; ++i) out[i] = FromInteger(row[i], fullScale);
    } else {
      for (std::size_t i = 0; i < samples; ++i) out[i] = FromInteger((unsigned{row[2 * i]} << 8) | row[2 * i + 1], fullScale);
    }
  }
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

struct PnmHeader {
  std::uint32_t width = 0, height = 0;
  int bits = 0, channels = 0;
  std::size_t dataOffset = 0;
};

// A binary PNM taken here: P5 or P6, no comment, the largest value 255 or
// 65535, exactly the samples it declares and nothing after them.
std::optional<PnmHeader> PnmTakenHere(const std::vector<unsigned char>& bytes) {
  if (bytes.size() < 3 || bytes[0] != 'P' || (bytes[1] != '5' && bytes[1] != '6')) return std::nullopt;
  PnmHeader header;
  header.channels = bytes[1] == '5' ? 1 : 3;
  std::size_t at = 2;
  std::uint64_t values[3] = {};
  for (std::uint64_t& value : values) {
    if (at >= bytes.size() || !std::isspace(bytes[at])) return std::nullopt;
    while (at < bytes.size() && std::isspace(bytes[at])) ++at;
    const std::size_t digits = at;
    while (at < bytes.size() && std::isdigit(bytes[at]) && at - digits < 10) value = value * 10 + (bytes[at++] - '0');
    if (at == digits || (at < bytes.size() && std::isdigit(bytes[at]))) return std::nullopt;
  }
  if (at >= bytes.size() || !std::isspace(bytes[at])) return std::nullopt;
  header.dataOffset = at + 1;
  if (values[0] == 0 || values[1] == 0 || values[0] > 0x7fffffff || values[1] > 0x7fffffff) return std::nullopt;
  if (values[2] != 255 && values[2] != 65535) return std::nullopt;
  header.width = static_cast<std::uint32_t>(values[0]);
  header.height = static_cast<std::uint32_t>(values[1]);
  header.bits = values[2] == 255 ? 8 : 16;
  const std::uint64_t expected = std::uint64_t{header.width} * header.height * static_cast<unsigned>(header.channels) *
                                 static_cast<unsigned>(header.bits / 8);
  if (bytes.size() - header.dataOffset != expected) return std::nullopt;
  return header;
}

std::string LowerExtension(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  const std::size_t slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

bool IsPnmExtension(const std::string& extension) { return extension == "ppm" || extension == "pgm" || extension == "pnm"; }

DecodedImage Described(int width, int height, int channels, int bits, DirectLayout::Kind kind,
                       DirectLayout::ColourSpace colourSpace, const std::string& path) {
  DecodedImage image;
  image.direct = std::make_shared<const DirectLayout>(DirectLayout{kind, colourSpace, bits, path, nullptr});
  image.formatName = kind == DirectLayout::Kind::Png ? "png" : "pnm";
  image.width = width;
  image.height = height;
  image.channels = channels;
  // Grey and alpha, colour and alpha: the last channel is alpha.
  const int colour = channels == 2 || channels == 4 ? channels - 1 : channels;
  for (int c = 0; c < colour; ++c) image.colourChannels.push_back(c);
  image.scale = bits == 16 ? 65535.0f : 255.0f;
  image.unit = 1.0f;
  return image;
}

void WriteToMemory(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
  bool grown = true;
  try {
    out->insert(out->end(), data, data + length);
  } catch (const std::bad_alloc&) {
    grown = false;
  }
  if (!grown) png_error(png, "not enough memory");
}
void Flush(png_structp) {}

// The PNG the module writes for `image`: the chunks of its colour space (for
// sRGB, the gamma and chromaticities too), no offset, deflate at level 3.
bool EncodePng(const DecodedImage& image, std::vector<unsigned char>* out, unsigned char* row) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, &JumpBack, &Ignore);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, out, &WriteToMemory, &Flush);
  static constexpr int kTypeOfChannels[5] = {0, PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                             PNG_COLOR_TYPE_RGB_ALPHA};
  const int bits = image.direct->bits;
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), bits,
               kTypeOfChannels[image.channels], PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  const bool srgb = image.direct->colourSpace == DirectLayout::ColourSpace::Srgb;
  if (srgb) png_set_sRGB_gAMA_and_cHRM(png, info, PNG_sRGB_INTENT_ABSOLUTE);
  png_set_oFFs(png, info, 0, 0, PNG_OFFSET_PIXEL);
  char key[sizeof kColourSpaceKey];
  std::memcpy(key, kColourSpaceKey, sizeof key);
  char srgbName[] = "sRGB";
  char rec709Name[] = "Rec709";
  png_text text{};
  text.compression = PNG_TEXT_COMPRESSION_NONE;
  text.key = key;
  text.text = srgb ? srgbName : rec709Name;
  text.text_length = std::strlen(text.text);
  png_set_text(png, info, &text, 1);
  png_set_compression_level(png, 3);
  png_write_info(png, info);
  const std::size_t samples = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.channels);
  const float fullScale = bits == 16 ? 65535.0f : 255.0f;
  for (int y = 0; y < image.height; ++y) {
    const float* in = image.pixels.data() + static_cast<std::size_t>(y) * samples;
    if (bits == 8) {
      for (std::size_t i = 0; i < samples; ++i) row[i] = static_cast<unsigned char>(ToInteger(in[i], fullScale));
    } else {
      for (std::size_t i = 0; i < samples; ++i) {
        const unsigned value = ToInteger(in[i], fullScale);
        row[2 * i] = static_cast<unsigned char>(value >> 8);
        row[2 * i + 1] = static_cast<unsigned char>(value & 0xFF);
      }
    }
    png_write_row(png, row);
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

std::vector<unsigned char> EncodePnm(const DecodedImage& image) {
  if (image.direct->bits == 16) return EncodeSixteenBitPnm(image.width, image.height, image.channels, true, image.pixels);
  const std::string header = std::string(image.channels == 1 ? "P5" : "P6") + "\n" + std::to_string(image.width) + " " +
                             std::to_string(image.height) + "\n255\n";
  std::vector<unsigned char> bytes(header.begin(), header.end());
  bytes.reserve(header.size() + image.pixels.size());
  for (const float sample : image.pixels) bytes.push_back(static_cast<unsigned char>(ToInteger(sample, 255.0f)));
  return bytes;
}

}  // namespace

std::optional<DecodedImage> ReadImageDirectly(const std::string& path, std::uint64_t maxSamples) {
  const std::optional<std::vector<unsigned char>> bytes = FileBytes(path, maxSamples);
  if (!bytes) return std::nullopt;
  try {
    if (const std::optional<PngHeader> png = PngTakenHere(*bytes)) {
      const std::uint64_t samples = std::uint64_t{png->width} * png->height * static_cast<unsigned>(png->channels);
      if (samples > maxSamples || png->width > 0x7fffffff || png->height > 0x7fffffff) return std::nullopt;
      DecodedImage image = Described(static_cast<int>(png->width), static_cast<int>(png->height), png->channels, png->bits,
                                     DirectLayout::Kind::Png, png->colourSpace, path);
      image.pixels.resize(samples);
      std::vector<unsigned char> row(static_cast<std::size_t>(png->width) * static_cast<unsigned>(png->channels) *
                                     static_cast<unsigned>(png->bits / 8));
      if (!DecodePng(*bytes, *png, image.pixels.data(), row.data())) return std::nullopt;
      return image;
    }
    if (const std::optional<PnmHeader> pnm = PnmTakenHere(*bytes)) {
      const std::uint64_t samples = std::uint64_t{pnm->width} * pnm->height * static_cast<unsigned>(pnm->channels);
      if (samples > maxSamples) return std::nullopt;
      DecodedImage image = Described(static_cast<int>(pnm->width), static_cast<int>(pnm->height), pnm->channels, pnm->bits,
                                     DirectLayout::Kind::Pnm, DirectLayout::ColourSpace::Rec709, path);
      image.pixels.resize(samples);
      const unsigned char* data = bytes->data() + pnm->dataOffset;
      const float fullScale = pnm->bits == 16 ? 65535.0f : 255.0f;
      for (std::size_t i = 0; i < samples; ++i) {
        image.pixels[i] = FromInteger(pnm->bits == 16 ? (unsigned{data[2 * i]} << 8) | data[2 * i + 1] : data[i], fullScale);
      }
      return image;
    }
  } catch (const std::bad_alloc&) {
    // The module says how much it could not find room for.
  }
  return std::nullopt;
}

bool FormatIsWrittenDirectly(const std::string& path) {
  const std::string extension = LowerExtension(path);
  return extension == "png" || IsPnmExtension(extension);
}

bool WritesDirectly(const std::string& path, const DecodedImage& image) {
  if (!image.direct) return false;
  const std::string extension = LowerExtension(path);
  // PNM holds no alpha: the module refuses such an image and says why.
  return extension == "png" || (IsPnmExtension(extension) && (image.channels == 1 || image.channels == 3));
}

void WriteImageDirectly(const std::string& path, const DecodedImage& image, const std::function<void()>& beforeCommit) {
  std::vector<unsigned char> encoded;
  if (LowerExtension(path) == "png") {
    std::vector<unsigned char> row(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.channels) *
                                   static_cast<std::size_t>(image.direct->bits / 8));
    if (!EncodePng(image, &encoded, row.data())) throw FileError(path, "cannot write: not enough memory to encode it");
  } else {
    encoded = EncodePnm(image);
  }
  AtomicOutput file(path);
  file.Write(encoded.data(), encoded.size());
  if (beforeCommit) beforeCommit();
  file.Commit();
}

}  // namespace calvane::app
