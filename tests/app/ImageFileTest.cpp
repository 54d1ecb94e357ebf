// Files into host images and back: which samples go to which plane, in
// which units, and what comes back out.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "app/ImageFile.h"
#include "host/Image.h"
#include "hostlib/HostImage.h"

namespace calvane::app {
namespace {

using test::ImageData;
using test::ReadImage;
using test::TempDir;
using test::WriteImage;

constexpr int kWidth = 37;  // odd, so that no row starts where a stride error would land by chance
constexpr int kHeight = 11;

// A different integer picture in every channel, alpha last: any sample
// taken from the wrong place shows.
int Level(int x, int y, int c) {
  switch (c) {
    case 0: return (x * 3 + y) % 256;
    case 1: return (x + 5 * y) % 256;
    case 2: return 255 - x;
    default: return (7 * x + 3 * y + 11) % 256;
  }
}

// Colour planes in the file's units hold exactly the file's samples; written
// back with the planes rotated (red gets green's picture, ...), every
// colour channel holds exactly the picture put into it and alpha is as it
// was, at the file's depth.
TEST(ImageFile, ColourChannelsBesideAlphaGoToTheirOwnPlanesAndBack) {
  struct Case {
    const char* name;
    int channels;
    OIIO::TypeDesc type;
    double unit;  // one step of Level in the file's units
  };
  const Case cases[] = {{"rgba.png", 4, OIIO::TypeUInt8, 1.0},
                        {"rgba.tif", 4, OIIO::TypeUInt16, 257.0},
                        {"rgba.exr", 4, OIIO::TypeFloat, 1.0 / 255},
                        {"ga.png", 2, OIIO::TypeUInt8, 1.0}};
  TempDir dir;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const int alpha = k.channels - 1;
    WriteImage(dir / k.name, kWidth, kHeight, k.channels, k.type,
               [&](int x, int y, int c) { return static_cast<float>(Level(x, y, c == alpha ? 3 : c) / 255.0); });
    DecodedImage decoded = ReadImageFile(dir / k.name);
    const int colours = k.channels - 1;
    ASSERT_EQ(decoded.colourChannels.size(), static_cast<std::size_t>(colours));
    const HostImagePtr work = MakeWorkingImage(decoded);
    ASSERT_EQ(ImageChannels(work.get()), colours);
    for (int c = 0; c < colours; ++c) {
      const float* plane = ImagePlane(work.get(), c);
      for (int i = 0; i < kWidth * kHeight; ++i) {
        ASSERT_NEAR(plane[i], Level(i % kWidth, i / kWidth, c) * k.unit, 1e-6 * 255 * k.unit) << "channel " << c << " at " << i;
      }
    }

    const HostImagePtr rotated(CreateImage(kWidth, kHeight, colours, GetScale(work.get())));
    for (int c = 0; c < colours; ++c) {
      const float* from = ImagePlane(work.get(), (c + 1) % colours);
      float* to = ImagePlane(rotated.get(), c);
      for (int i = 0; i < kWidth * kHeight; ++i) to[i] = from[i];
    }
    StoreWorkingImage(rotated.get(), decoded);
    const std::string written = dir / (std::string("out-") + k.name);
    WriteImageFile(written, decoded);

    const ImageData out = ReadImage(written);
    EXPECT_EQ(out.spec.format, k.type);
    ASSERT_EQ(out.spec.nchannels, k.channels);
    for (int i = 0; i < kWidth * kHeight; ++i) {
      const int x = i % kWidth;
      const int y = i / kWidth;
      for (int c = 0; c < colours; ++c) {
        ASSERT_NEAR(out.pixels[static_cast<std::size_t>(i * k.channels + c)] * 255.0, Level(x, y, (c + 1) % colours), 1e-4)
            << "channel " << c << " at " << x << "," << y;
      }
      ASSERT_NEAR(out.pixels[static_cast<std::size_t>(i * k.channels + colours)] * 255.0, Level(x, y, 3), 1e-4)
          << "alpha at " << x << "," << y;
    }
  }
}

// The working image is in the units of the file's own data type, whatever
// the data happen to use: a 16-bit sample of 3328 is 3328, not 13.
TEST(ImageFile, WorkingSamplesAreInTheFilesUnits) {
  TempDir dir;
  const struct {
    const char* name;
    OIIO::TypeDesc type;
    double fullScale;
  } cases[] = {{"grey.png", OIIO::TypeUInt8, 255.0}, {"grey.tif", OIIO::TypeUInt16, 65535.0}, {"grey.exr", OIIO::TypeFloat, 1.0}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    WriteImage(dir / k.name, 8, 8, 1, k.type, [](int x, int y, int) { return x < 4 ? 0.0f : (y < 4 ? 1.0f : 13.0f / 255); });
    const DecodedImage decoded = ReadImageFile(dir / k.name);
    EXPECT_EQ(decoded.scale, static_cast<float>(k.fullScale));
    const HostImagePtr work = MakeWorkingImage(decoded);
    const float* plane = ImagePlane(work.get(), 0);
    EXPECT_EQ(plane[0], 0.0f);
    EXPECT_FLOAT_EQ(plane[7], static_cast<float>(k.fullScale));
    EXPECT_NEAR(plane[63], 13.0 / 255 * k.fullScale, k.fullScale / 65535);
  }
}

// 16-bit grey and colour maps hold every sample to the bit: binary ones
// two bytes a sample, most significant first; a text one as text again.
// The zlib stream of a PNG's first IDAT chunk announces the compression
// level it was made at in its second byte: 1 is levels 2 to 5.
int DeflateLevelClass(const std::string& png) {
  std::size_t at = 8;  // past the signature
  while (at + 8 <= png.size()) {
    const auto* p = reinterpret_cast<const unsigned char*>(png.data() + at);
    const std::size_t length = (std::size_t{p[0]} << 24) | (std::size_t{p[1]} << 16) | (std::size_t{p[2]} << 8) | p[3];
    if (png.compare(at + 4, 4, "IDAT") == 0 && length >= 2) return p[9] >> 6;
    at += 12 + length;
  }
  return -1;
}

TEST(ImageFile, PngIsDeflatedAtAFastLevelAndReadsBackExactly) {
  TempDir dir;
  WriteImage(dir / "in.png", kWidth, kHeight, 3, OIIO::TypeUInt8,
             [](int x, int y, int c) { return static_cast<float>(Level(x, y, c) / 255.0); });
  WriteImageFile(dir / "out.png", ReadImageFile(dir / "in.png"));
  EXPECT_EQ(DeflateLevelClass(test::ReadText(dir / "out.png")), 1);
  const ImageData back = ReadImage(dir / "out.png");
  ASSERT_EQ(back.pixels.size(), static_cast<std::size_t>(kWidth * kHeight * 3));
  for (int i = 0; i < kWidth * kHeight * 3; ++i) {
    ASSERT_EQ(std::lround(back.pixels[i] * 255), Level(i / 3 % kWidth, i / 3 / kWidth, i % 3)) << "sample " << i;
  }
}

TEST(ImageFile, SixteenBitPnmHoldsEverySampleExactly) {
  TempDir dir;
  for (int channels : {1, 3}) {
    SCOPED_TRACE(channels);
    WriteImage(dir / "in.tif", kWidth, kHeight, channels, OIIO::TypeUInt16,
               [](int x, int y, int c) { return static_cast<float>(Level(x, y, c) * 257 / 65535.0); });
    const std::string out = dir / (channels == 1 ? "out.pgm" : "out.ppm");
    WriteImageFile(out, ReadImageFile(dir / "in.tif"));
    const std::string bytes = test::ReadText(out);
    const std::string header = std::string(channels == 1 ? "P5" : "P6") + "\n37 11\n65535\n";
    ASSERT_EQ(bytes.substr(0, header.size()), header);
    ASSERT_EQ(bytes.size(), header.size() + 2u * kWidth * kHeight * static_cast<unsigned>(channels));
    for (int i = 0; i < kWidth * kHeight * channels; ++i) {
      const auto* sample = reinterpret_cast<const unsigned char*>(bytes.data() + header.size() + 2 * i);
      const int pixel = i / channels;
      ASSERT_EQ(sample[0] * 256 + sample[1], Level(pixel % kWidth, pixel / kWidth, i % channels) * 257) << "sample " << i;
    }
  }
  // The library's reader takes 16-bit PNM samples up to a step low (65535
  // comes in as 65534), so a text map comes back within that step.
  test::WriteText(dir / "text.ppm", "P3\n2 1\n65535\n0 1 65535\n300 4000 50000\n");
  WriteImageFile(dir / "text-out.ppm", ReadImageFile(dir / "text.ppm"));
  std::istringstream written(test::ReadText(dir / "text-out.ppm"));
  std::string magic;
  int width = 0, height = 0, largest = 0;
  written >> magic >> width >> height >> largest;
  EXPECT_EQ(magic, "P3");
  EXPECT_EQ(width, 2);
  EXPECT_EQ(height, 1);
  EXPECT_EQ(largest, 65535);
  for (const int expected : {0, 1, 65535, 300, 4000, 50000}) {
    int sample = -1;
    ASSERT_TRUE(written >> sample);
    EXPECT_NEAR(sample, expected, 1);
  }
}

}  // namespace
}  // namespace calvane::app
