// The files the program reads and writes itself, against the image
// input/output module on the same files: the same samples in, the same
// bytes out, and everything else left to the module.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "app/DirectImageFiles.h"
#include "app/ExitStatus.h"
#include "app/ImageFile.h"

namespace calvane::app {
namespace {

using test::TempDir;

// Direct files on while it lives, then as before.
class DirectFiles {
 public:
  explicit DirectFiles(bool use) { UseDirectImageFiles(use); }
  ~DirectFiles() { UseDirectImageFiles(true); }
};

std::string Chunk(const std::string& type, const std::string& data) {
  std::string chunk;
  for (int shift = 24; shift >= 0; shift -= 8) chunk += static_cast<char>((data.size() >> shift) & 0xFF);
  const std::string body = type + data;
  chunk += body;
  const auto crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
  for (int shift = 24; shift >= 0; shift -= 8) chunk += static_cast<char>((crc >> shift) & 0xFF);
  return chunk;
}

std::string Be32(std::uint32_t value) {
  std::string bytes;
  for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>((value >> shift) & 0xFF);
  return bytes;
}

// The samples of a picture: a different value at every place, covering
// every value of the depth as far as the picture is large enough.
std::vector<unsigned> Samples(int width, int height, int channels, int bits) {
  std::vector<unsigned> samples(static_cast<std::size_t>(width) * height * channels);
  const unsigned top = bits == 16 ? 65536u : 256u;
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<unsigned>((i * 40503u) % top);
  return samples;
}

// A PNG of the given samples, colour type and depth, with extra chunks
// before the image data; unfiltered rows in one deflate stream.
std::string Png(int width, int height, int colourType, int bits, const std::vector<unsigned>& samples,
                const std::vector<std::pair<std::string, std::string>>& extra = {}, int interlace = 0) {
  const int channels = colourType == 0 || colourType == 3 ? 1 : colourType == 2 ? 3 : colourType == 4 ? 2 : 4;
  std::string raw;
  for (int y = 0; y < height; ++y) {
    raw += '\0';
    for (int i = 0; i < width * channels; ++i) {
      const unsigned value = samples[static_cast<std::size_t>(y) * width * channels + i];
      if (bits == 16) raw += static_cast<char>(value >> 8);
      raw += static_cast<char>(value & 0xFF);
    }
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string deflated(size, '\0');
  compress(reinterpret_cast<Bytef*>(&deflated[0]), &size, reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()));
  deflated.resize(size);
  std::string header = Be32(static_cast<std::uint32_t>(width)) + Be32(static_cast<std::uint32_t>(height));
  header += static_cast<char>(bits);
  header += static_cast<char>(colourType);
  header += std::string("\0\0", 2) + static_cast<char>(interlace);
  std::string file = "\x89PNG\r\n\x1a\n" + Chunk("IHDR", header);
  for (const auto& [type, data] : extra) file += Chunk(type, data);
  return file + Chunk("IDAT", deflated) + Chunk("IEND", "");
}

std::string Pnm(int width, int height, int channels, int bits, const std::vector<unsigned>& samples) {
  std::string file = std::string(channels == 1 ? "P5" : "P6") + "\n" + std::to_string(width) + " " +
                     std::to_string(height) + "\n" + (bits == 16 ? "65535" : "255") + "\n";
  for (const unsigned value : samples) {
    if (bits == 16) file += static_cast<char>(value >> 8);
    file += static_cast<char>(value & 0xFF);
  }
  return file;
}

const std::vector<std::pair<std::string, std::string>> kSrgbChunks = {
    {"sRGB", std::string(1, '\0')},
    {"gAMA", Be32(45455)},
    {"cHRM", Be32(31270) + Be32(32900) + Be32(64000) + Be32(33000) + Be32(30000) + Be32(60000) + Be32(15000) + Be32(6000)}};

const std::vector<std::pair<std::string, std::string>> kRec709Chunks = {
    {"oFFs", std::string(9, '\0')}, {"tEXt", std::string("oiio:ColorSpace\0Rec709", 22)}};

struct Case {
  std::string name;
  std::string bytes;
};

// Files of every kind taken here.
std::vector<Case> FilesTakenHere() {
  std::vector<Case> cases;
  for (const int bits : {8, 16}) {
    const std::string depth = std::to_string(bits);
    // 256x256 grey holds every 16-bit value once.
    cases.push_back({"grey" + depth + ".png", Png(256, 256, 0, bits, Samples(256, 256, 1, bits))});
    cases.push_back({"grey-alpha" + depth + ".png", Png(37, 11, 4, bits, Samples(37, 11, 2, bits))});
    cases.push_back({"rgb" + depth + ".png", Png(37, 11, 2, bits, Samples(37, 11, 3, bits))});
    cases.push_back({"rgba" + depth + ".png", Png(37, 11, 6, bits, Samples(37, 11, 4, bits))});
    cases.push_back({"srgb" + depth + ".png", Png(37, 11, 2, bits, Samples(37, 11, 3, bits), kSrgbChunks)});
    cases.push_back({"rec709-" + depth + ".png", Png(37, 11, 0, bits, Samples(37, 11, 1, bits), kRec709Chunks)});
    cases.push_back({"grey" + depth + ".pgm", Pnm(256, 256, 1, bits, Samples(256, 256, 1, bits))});
    cases.push_back({"rgb" + depth + ".ppm", Pnm(37, 11, 3, bits, Samples(37, 11, 3, bits))});
  }
  return cases;
}

void ExpectSameDescription(const DecodedImage& direct, const DecodedImage& module) {
  EXPECT_EQ(direct.formatName, module.formatName);
  EXPECT_EQ(direct.width, module.width);
  EXPECT_EQ(direct.height, module.height);
  EXPECT_EQ(direct.channels, module.channels);
  EXPECT_EQ(direct.colourChannels, module.colourChannels);
  EXPECT_EQ(direct.scale, module.scale);
  EXPECT_EQ(direct.unit, module.unit);
}

TEST(DirectImageFiles, EverySampleReadsAsTheModuleReadsIt) {
  TempDir dir;
  for (const Case& file : FilesTakenHere()) {
    SCOPED_TRACE(file.name);
    const std::string path = dir / file.name;
    test::WriteText(path, file.bytes);
    const DecodedImage direct = ReadImageFile(path);
    ASSERT_TRUE(direct.direct) << "not read by the program itself";
    EXPECT_FALSE(direct.layout);
    DecodedImage module;
    {
      const DirectFiles off(false);
      module = ReadImageFile(path);
    }
    ASSERT_TRUE(module.layout);
    ExpectSameDescription(direct, module);
    ASSERT_EQ(direct.pixels.size(), module.pixels.size());
    const bool sixteenBitPnm = file.name.find("16.p") != std::string::npos;
    const std::vector<unsigned> values = Samples(direct.width, direct.height, direct.channels, sixteenBitPnm ? 16 : 8);
    for (std::size_t i = 0; i < direct.pixels.size(); ++i) {
      if (sixteenBitPnm) {
        // The module's reader takes 16-bit PNM samples up to a step low; the
        // program reads them as they are.
        ASSERT_EQ(direct.pixels[i], static_cast<float>(values[i]) * (1.0f / 65535.0f)) << "sample " << i;
        ASSERT_NEAR(direct.pixels[i], module.pixels[i], 1.01 / 65535) << "sample " << i;
      } else {
        ASSERT_EQ(std::memcmp(&direct.pixels[i], &module.pixels[i], sizeof(float)), 0)
            << "sample " << i << ": " << direct.pixels[i] << " against the module's " << module.pixels[i];
      }
    }
  }
}

// Samples as the flow leaves them: anywhere, often beyond 0..1, and halfway
// between two steps, where rounding decides.
void Disturb(DecodedImage& image, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> anywhere(-0.1f, 1.1f);
  const float steps = image.scale;
  for (std::size_t i = 0; i < image.pixels.size(); ++i) {
    if (i % 3 == 0) {
      image.pixels[i] = anywhere(rng);
    } else if (i % 3 == 1) {
      image.pixels[i] = (std::floor(image.pixels[i] * steps) + 0.5f) / steps;
    }
  }
}

TEST(DirectImageFiles, WhatIsWrittenIsTheModulesFileByteForByte) {
  TempDir dir;
  unsigned seed = 1;
  for (const Case& file : FilesTakenHere()) {
    const std::string path = dir / ("in-" + file.name);
    test::WriteText(path, file.bytes);
    DecodedImage image = ReadImageFile(path);
    ASSERT_TRUE(image.direct);
    Disturb(image, seed++);
    const bool alpha = image.channels == 2 || image.channels == 4;
    for (const std::string extension : {".png", ".ppm", ".pgm", ".pnm"}) {
      SCOPED_TRACE(file.name + " to " + extension);
      const std::string mine = dir / ("direct" + extension);
      const std::string module = dir / ("module" + extension);
      EXPECT_EQ(WritesDirectly(mine, image), extension == std::string(".png") || !alpha);
      if (alpha && extension != std::string(".png")) {
        // PNM holds no alpha: refused before any work, in the module's words.
        std::string refusal;
        try {
          CheckOutputFormat(mine, image);
        } catch (const AppError& error) {
          refusal = error.what();
        }
        EXPECT_NE(refusal.find("cannot hold this image of " + std::to_string(image.channels) + " channels"),
                  std::string::npos) << refusal;
        continue;
      }
      EXPECT_TRUE(CheckOutputFormat(mine, image).empty());
      WriteImageFile(mine, image);
      {
        const DirectFiles off(false);
        WriteImageFile(module, image);
      }
      const std::string written = test::ReadText(mine);
      ASSERT_FALSE(written.empty());
      EXPECT_TRUE(written == test::ReadText(module)) << "the files differ";
    }
  }
}

TEST(DirectImageFiles, OtherFilesAreTheModulesToReadOrRefuse) {
  TempDir dir;
  const std::vector<unsigned> rgb = Samples(37, 11, 3, 8);
  const std::string plain = Png(37, 11, 2, 8, rgb);
  std::string badCrc = plain;
  badCrc[plain.size() - 20] ^= 0x55;  // inside the image data
  std::vector<std::pair<std::string, std::string>> srgbAndComment = kSrgbChunks;
  srgbAndComment.emplace_back("tEXt", std::string("Comment\0hello", 13));
  const std::vector<Case> others = {
      {"comment.png", Png(37, 11, 2, 8, rgb, {{"tEXt", std::string("Comment\0hello", 13)}})},
      {"srgb-comment.png", Png(37, 11, 2, 8, rgb, srgbAndComment)},
      {"gamma-only.png", Png(37, 11, 2, 8, rgb, {{"gAMA", Be32(45455)}})},
      {"offset-only.png", Png(37, 11, 2, 8, rgb, {{"oFFs", std::string(9, '\0')}})},
      {"rec709-and-srgb.png", Png(37, 11, 2, 8, rgb, {kSrgbChunks[0], kRec709Chunks[1]})},
      {"interlaced.png", Png(37, 11, 2, 8, rgb, {}, 1)},
      {"palette.png", Png(37, 11, 3, 8, std::vector<unsigned>(37 * 11, 0), {{"PLTE", std::string(3, '\0')}})},
      {"one-bit.png", Png(8, 1, 0, 1, std::vector<unsigned>(8, 0))},
      {"trailing.png", plain + "x"},
      {"comment.ppm", "P6\n# made by hand\n1 1\n255\n\x01\x02\x03"},
      {"ten-bits.pgm", "P5\n1 1\n1023\n\x01\x02"},
      {"text.pgm", "P2\n1 1\n255\n7\n"},
      {"short.ppm", "P6\n2 1\n255\n\x01\x02\x03"},
  };
  for (const Case& file : others) {
    SCOPED_TRACE(file.name);
    const std::string path = dir / file.name;
    test::WriteText(path, file.bytes);
    EXPECT_FALSE(ReadImageDirectly(path, kDefaultMaxSamples).has_value());
  }
  // Damaged: what the module says of it is what the user reads.
  for (const std::string& damaged : {std::string("crc.png"), std::string("cut.png")}) {
    SCOPED_TRACE(damaged);
    test::WriteText(dir / damaged, damaged == "crc.png" ? badCrc : plain.substr(0, plain.size() - 30));
    EXPECT_FALSE(ReadImageDirectly(dir / damaged, kDefaultMaxSamples).has_value());
    std::string direct, module;
    try {
      ReadImageFile(dir / damaged);
    } catch (const AppError& error) {
      direct = error.what();
    }
    {
      const DirectFiles off(false);
      try {
        ReadImageFile(dir / damaged);
      } catch (const AppError& error) {
        module = error.what();
      }
    }
    EXPECT_FALSE(direct.empty());
    EXPECT_EQ(direct, module);
  }
  // More samples than allowed: refused in the module's words.
  test::WriteText(dir / "big.png", plain);
  EXPECT_FALSE(ReadImageDirectly(dir / "big.png", 37 * 11 * 3 - 1).has_value());
  EXPECT_TRUE(ReadImageDirectly(dir / "big.png", 37 * 11 * 3).has_value());
  // A file larger than its samples could need (here 100000 empty image
  // data chunks, 1.2 MB, which a PNG may hold) is not read whole here.
  const std::size_t imageData = plain.find("IDAT") - 4;
  std::string padded = plain.substr(0, imageData);
  for (int i = 0; i < 100000; ++i) padded += Chunk("IDAT", "");
  padded += plain.substr(imageData);
  test::WriteText(dir / "padded.png", padded);
  EXPECT_FALSE(ReadImageDirectly(dir / "padded.png", 37 * 11 * 3).has_value());
  EXPECT_TRUE(ReadImageDirectly(dir / "padded.png", 1 << 20).has_value());
}

TEST(DirectImageFiles, AnotherFormatIsWrittenByTheModuleAsFromTheFileRead) {
  TempDir dir;
  test::WriteText(dir / "in.png", Png(37, 11, 6, 16, Samples(37, 11, 4, 16)));
  DecodedImage image = ReadImageFile(dir / "in.png");
  ASSERT_TRUE(image.direct);
  Disturb(image, 7);
  DecodedImage module;
  {
    const DirectFiles off(false);
    module = ReadImageFile(dir / "in.png");
  }
  module.pixels = image.pixels;
  for (const std::string name : {"out.tif", "out.exr"}) {
    SCOPED_TRACE(name);
    const std::vector<std::string> notes = CheckOutputFormat(dir / ("direct-" + name), image);
    EXPECT_EQ(notes, CheckOutputFormat(dir / ("module-" + name), module));
    WriteImageFile(dir / ("direct-" + name), image);
    WriteImageFile(dir / ("module-" + name), module);
    EXPECT_TRUE(test::ReadText(dir / ("direct-" + name)) == test::ReadText(dir / ("module-" + name)));
  }
  // A note the module makes on the way is made too.
  const std::vector<std::string> notes = CheckOutputFormat(dir / "eight-bits.bmp", image);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(notes.front().find("8-bit samples (the input has 16-bit)"), std::string::npos) << notes.front();
  // The file read changed before the module described it: nothing is
  // written. Once described, it is not described again.
  const DecodedImage fresh = ReadImageFile(dir / "in.png");
  test::WriteText(dir / "in.png", Png(36, 11, 6, 16, Samples(36, 11, 4, 16)));
  EXPECT_THROW(WriteImageFile(dir / "late.tif", fresh), AppError);
  EXPECT_TRUE(test::ReadText(dir / "late.tif").empty());
  WriteImageFile(dir / "described.tif", image);
  EXPECT_TRUE(test::ReadText(dir / "described.tif") == test::ReadText(dir / "module-out.tif"));
}

}  // namespace
}  // namespace calvane::app
