// The built program keeps every part of a file: every page of a TIFF and
// every part of an OpenEXR file, every colour channel however many, alpha
// and depth as they were, and 32-bit integer data in its own units.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "ProgramFixture.h"
#include "TestFiles.h"

namespace calvane::app::test {
namespace {

using ::testing::HasSubstr;

constexpr int kWidth = 96;
constexpr int kHeight = 64;

// One image of a file to write: its spec and the picture in it (0..1).
struct Page {
  OIIO::ImageSpec spec;
  SampleFn sample;
};

// Writes the pages in order into one file, as a multi-page TIFF or a
// multi-part OpenEXR file.
void WritePages(const std::string& path, const std::vector<Page>& pages) {
  std::vector<OIIO::ImageSpec> specs;
  for (const Page& page : pages) specs.push_back(page.spec);
  auto out = OIIO::ImageOutput::create(path);
  if (!out || !out->open(path, static_cast<int>(specs.size()), specs.data())) throw std::runtime_error("cannot open " + path);
  for (std::size_t i = 0; i < pages.size(); ++i) {
    const OIIO::ImageSpec& spec = specs[i];
    if (i > 0 && !out->open(path, spec, OIIO::ImageOutput::AppendSubimage)) throw std::runtime_error("cannot append");
    std::vector<float> pixels(static_cast<std::size_t>(spec.width) * spec.height * spec.nchannels);
    for (int y = 0; y < spec.height; ++y)
      for (int x = 0; x < spec.width; ++x)
        for (int c = 0; c < spec.nchannels; ++c)
          pixels[(static_cast<std::size_t>(y) * spec.width + x) * spec.nchannels + c] = pages[i].sample(x, y, c);
    if (!out->write_image(OIIO::TypeFloat, pixels.data())) throw std::runtime_error("cannot write " + path);
  }
  if (!out->close()) throw std::runtime_error("cannot close " + path);
}

// Every image of a file, in order.
std::vector<ImageData> ReadPages(const std::string& path) {
  auto in = OIIO::ImageInput::open(path);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::vector<ImageData> pages;
  for (int s = 0; in->seek_subimage(s, 0); ++s) {
    ImageData page{in->spec(), {}};
    page.pixels.resize(static_cast<std::size_t>(page.spec.width) * page.spec.height * page.spec.nchannels);
    if (!in->read_image(s, 0, 0, page.spec.nchannels, OIIO::TypeFloat, page.pixels.data())) {
      throw std::runtime_error("cannot read an image of " + path);
    }
    pages.push_back(std::move(page));
  }
  return pages;
}

// The clean picture of page p: the cartoon, darker or brighter and with its
// disc moved, so that each page differs from the others by far more than
// the noise left after denoising.
SampleFn PagePicture(int p) {
  return [p](int x, int y, int c) { return 0.15f + (0.3f + 0.2f * p) * Cartoon((x + 25 * p) % kWidth, y, c); };
}

// Page p's picture with Gaussian noise of `sigma` (0..1 units).
SampleFn NoisyPage(int p, float sigma) {
  const SampleFn noise = NoisyCartoon(sigma, 40u + static_cast<unsigned>(p));
  const SampleFn clean = PagePicture(p);
  return [=](int x, int y, int c) { return clean(x, y, c) + noise(x, y, c) - Cartoon(x, y, c); };
}

// Asserts that each page came out denoised towards its own picture, in
// order: the output's page p is closer to picture p than half the input's
// noise, and much closer to it than to any other page's picture.
void ExpectEachPageDenoised(const std::vector<ImageData>& in, const std::vector<ImageData>& out, int pages) {
  ASSERT_EQ(static_cast<int>(out.size()), pages);
  for (int p = 0; p < pages; ++p) {
    SCOPED_TRACE("page " + std::to_string(p + 1));
    for (int c = 0; c < out[p].spec.nchannels; ++c) {
      const double before = RmsFromPicture(in[p], PagePicture(p), c);
      const double after = RmsFromPicture(out[p], PagePicture(p), c);
      EXPECT_LT(after, 0.5 * before) << "channel " << c;
      for (int q = 0; q < pages; ++q) {
        if (q == p) continue;
        EXPECT_GT(RmsFromPicture(out[p], PagePicture(q), c), 3 * after) << "channel " << c << " vs page " << q;
      }
    }
  }
}

TEST_F(Program, EveryPageOfAMultiPageTiffIsDenoisedAndWrittenInOrder) {
  std::vector<Page> pages;
  for (int p = 0; p < 3; ++p) {
    OIIO::ImageSpec spec(kWidth, kHeight, 3, OIIO::TypeUInt16);
    spec.attribute("ImageDescription", "page " + std::to_string(p + 1));
    pages.push_back({spec, NoisyPage(p, 0.05f)});
  }
  const std::string input = m_dir / "pages.tif";
  const std::string output = m_dir / "out.tif";
  WritePages(input, pages);
  const Result r = Run({input, output});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<ImageData> in = ReadPages(input);
  const std::vector<ImageData> out = ReadPages(output);
  ASSERT_EQ(out.size(), 3u) << "every page, none more";
  ExpectEachPageDenoised(in, out, 3);
  for (int p = 0; p < 3; ++p) {
    EXPECT_EQ(out[p].spec.format, OIIO::TypeUInt16) << "depth kept";
    EXPECT_EQ(out[p].spec.get_string_attribute("ImageDescription"), "page " + std::to_string(p + 1)) << "metadata kept";
  }
  // The settings are chosen on the first page; the later pages' noise is
  // measured again, each page under its own name.
  EXPECT_THAT(r.err, HasSubstr("pages.tif page 1/3: estimated noise level"));
  EXPECT_THAT(r.err, HasSubstr("pages.tif page 1/3: Iterations set to"));
  EXPECT_THAT(r.err, HasSubstr("pages.tif page 2/3: estimated noise level"));
  EXPECT_THAT(r.err, HasSubstr("pages.tif page 3/3: estimated noise level"));
  EXPECT_THAT(r.err, HasSubstr(input + " -> " + output + " (3 pages)"));
}

// Parts of different kinds: an RGB one and a grey one, each with its name.
TEST_F(Program, EveryPartOfAMultiPartExrIsDenoisedAndWrittenInOrder) {
  std::vector<Page> pages;
  const int channels[] = {3, 1};
  const char* names[] = {"beauty", "grey"};
  for (int p = 0; p < 2; ++p) {
    OIIO::ImageSpec spec(kWidth, kHeight, channels[p], OIIO::TypeHalf);
    spec.attribute("oiio:subimagename", names[p]);
    pages.push_back({spec, NoisyPage(p, 0.05f)});
  }
  const std::string input = m_dir / "parts.exr";
  const std::string output = m_dir / "out.exr";
  WritePages(input, pages);
  const Result r = Run({"-q", "--iterations", "60", input, output});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<ImageData> out = ReadPages(output);
  ASSERT_EQ(out.size(), 2u) << "every part, none more";
  ExpectEachPageDenoised(ReadPages(input), out, 2);
  for (int p = 0; p < 2; ++p) {
    EXPECT_EQ(out[p].spec.nchannels, channels[p]);
    EXPECT_EQ(out[p].spec.format, OIIO::TypeHalf);
    EXPECT_EQ(out[p].spec.get_string_attribute("oiio:subimagename"), names[p]);
  }
}

TEST_F(Program, SeveralPagesIntoAFormatOfOneImageAreRefusedBeforeAnyWork) {
  std::vector<Page> pages;
  for (int p = 0; p < 3; ++p) pages.push_back({OIIO::ImageSpec(kWidth, kHeight, 1, OIIO::TypeUInt8), NoisyPage(p, 0.05f)});
  const std::string input = m_dir / "pages.tif";
  WritePages(input, pages);
  for (const char* name : {"out.png", "out.jpg"}) {
    SCOPED_TRACE(name);
    const std::string output = m_dir / name;
    const std::string extension = std::string(name).substr(3);
    const Result r = Run({input, output});
    EXPECT_EQ(r.status, 2);
    // One line and nothing before it: no note of a noise level, no frame done.
    EXPECT_EQ(r.err, "calvane: " + output + ": the " + extension + " format holds a single image, and " + input +
                         " has 3 (pages or parts); choose a format that holds them all, such as .tif or .exr\n");
  }
  EXPECT_EQ(m_dir.Entries(), (std::vector<std::string>{"pages.tif"})) << "nothing written";
}

// Six colour channels and no alpha: each one is denoised, jointly (one set
// of edges) and independently.
TEST_F(Program, EveryChannelOfASixChannelTiffIsDenoised) {
  const std::string input = m_dir / "six.tif";
  const SampleFn clean = [](int x, int y, int c) { return PagePicture(c % 3)(x, y, c); };
  const SampleFn noise = NoisyCartoon(0.05f, 50);
  const SampleFn noisy = [&](int x, int y, int c) { return clean(x, y, c) + noise(x, y, c) - Cartoon(x, y, c); };
  WriteImage(input, kWidth, kHeight, 6, OIIO::TypeUInt16, noisy, [](OIIO::ImageSpec& spec) {
    spec.alpha_channel = -1;
    spec.erase_attribute("oiio:UnassociatedAlpha");
  });
  const ImageData in = ReadImage(input);
  for (const char* mode : {"joint", "independent"}) {
    SCOPED_TRACE(mode);
    const std::string output = m_dir / (std::string(mode) + ".tif");
    const Result r = Run({"-q", "--channels", mode, "--iterations", "60", input, output});
    ASSERT_EQ(r.status, 0) << r.err;
    const ImageData out = ReadImage(output);
    ASSERT_EQ(out.spec.nchannels, 6);
    EXPECT_EQ(out.spec.format, OIIO::TypeUInt16);
    for (int c = 0; c < 6; ++c) {
      EXPECT_LT(RmsFromPicture(out, clean, c), 0.5 * RmsFromPicture(in, clean, c)) << "channel " << c + 1;
    }
    // The fused pass couples all six channels as the operations one by one
    // do, to the bit.
    const std::string eager = m_dir / (std::string(mode) + "-eager.tif");
    setenv("CALVANE_HOST_EAGER", "1", 1);
    const Result e = Run({"-q", "--channels", mode, "--iterations", "60", input, eager});
    unsetenv("CALVANE_HOST_EAGER");
    ASSERT_EQ(e.status, 0) << e.err;
    EXPECT_EQ(ReadImage(eager).pixels, out.pixels);
  }
}

// Alpha, depth and a mask beside three colour channels: the colour is
// denoised; alpha and Z (marked as such by the format) and the mask (known
// by its name) come out exactly as they went in.
TEST_F(Program, AlphaDepthAndMasksPassThroughExactly) {
  const std::string input = m_dir / "rgbazm.exr";
  const SampleFn noisy = NoisyPage(1, 0.05f);
  const SampleFn sample = [&](int x, int y, int c) {
    if (c == 3) return 0.25f + 0.5f * static_cast<float>((x * 7 + y * 3) % 11) / 10.0f;  // alpha
    if (c == 4) return 100.0f + static_cast<float>(x * y % 37) * 0.731f;                  // depth
    if (c == 5) return noisy(x, y, 0);                                                    // a noisy mask
    return noisy(x, y, c);
  };
  WriteImage(input, kWidth, kHeight, 6, OIIO::TypeFloat, sample, [](OIIO::ImageSpec& spec) {
    spec.channelnames = {"R", "G", "B", "A", "Z", "object.mask"};
    spec.alpha_channel = 3;
    spec.z_channel = 4;
  });
  const std::string output = m_dir / "out.exr";
  const Result r = Run({"-q", "--iterations", "60", input, output});
  ASSERT_EQ(r.status, 0) << r.err;
  const ImageData in = ReadImage(input);
  const ImageData out = ReadImage(output);
  ASSERT_EQ(out.spec.nchannels, 6);
  for (int c = 3; c < 6; ++c) {
    EXPECT_EQ(in.spec.channelnames[c], out.spec.channelnames[c]);
    EXPECT_EQ(RmsDifference(in, out, c), 0.0) << in.spec.channelnames[c];
  }
  for (int c = 0; c < 3; ++c) {
    EXPECT_LT(RmsFromPicture(out, PagePicture(1), c), 0.5 * RmsFromPicture(in, PagePicture(1), c)) << "channel " << c;
  }
}

// Peak signal-to-noise ratio in dB of channel c against the picture, both
// in the file's units with `peak` their full scale.
double Psnr(const ImageData& image, const SampleFn& clean, int channel, double peak) {
  const double rms = RmsFromPicture(image, clean, channel) * peak;
  return 20.0 * std::log10(peak / rms);
}

// 32-bit integers with no options: the level, hundreds of millions of the
// file's units, is measured and used; the result is about as close to the
// clean picture as the same picture's in 16 bits.
TEST_F(Program, ThirtyTwoBitIntegersWorkWithAutomaticSettings) {
  const SampleFn noisy = NoisyPage(1, 0.07f);
  const double peak32 = 4294967295.0;
  double psnr16 = 0.0;
  for (const OIIO::TypeDesc& type : {OIIO::TypeUInt16, OIIO::TypeUInt32}) {
    const bool is32 = type == OIIO::TypeUInt32;
    SCOPED_TRACE(is32 ? "uint32" : "uint16");
    const std::string input = m_dir / (is32 ? "in32.tif" : "in16.tif");
    const std::string output = m_dir / (is32 ? "out32.tif" : "out16.tif");
    WriteImage(input, 160, 120, 1, type, noisy);
    const Result r = Run({input, output});
    ASSERT_EQ(r.status, 0) << r.err;
    const ImageData in = ReadImage(input);
    const ImageData out = ReadImage(output);
    EXPECT_EQ(out.spec.format, type);
    const double peak = is32 ? peak32 : 65535.0;
    const double before = Psnr(in, PagePicture(1), 0, peak);
    const double after = Psnr(out, PagePicture(1), 0, peak);
    EXPECT_GT(after, before + 6.0);
    if (!is32) {
      psnr16 = after;
    } else {
      // Not to the bit: in flat parts the flow's step follows the sign of
      // tiny differences, and the 16-bit file's rounding is one; a step is
      // 1/256 of the spread, which moves the PSNR by some tenths of a dB.
      EXPECT_NEAR(after, psnr16, 1.0) << "the same picture in 32 bits";
      // The level is noted in the file's units: 0.07 of the full scale.
      const std::string estimated = "estimated noise level ";
      const std::size_t at = r.err.find(estimated);
      ASSERT_NE(at, std::string::npos) << r.err;
      EXPECT_NEAR(std::atof(r.err.c_str() + at + estimated.size()), 0.07 * peak32, 0.1 * 0.07 * peak32) << r.err;
    }
  }
}

// A level given for 32-bit data is in the file's units, as any level is:
// here a picture in the lowest 24 bits, with noise of 0.07 of that range.
TEST_F(Program, ALevelGivenForThirtyTwoBitDataIsInTheFilesUnits) {
  const double range = 16777215.0;  // 2^24 - 1
  const double ratio = range / 4294967295.0;
  const SampleFn noisy = NoisyPage(1, 0.07f);
  const SampleFn clean = PagePicture(1);
  const SampleFn low = [&](int x, int y, int c) { return static_cast<float>(noisy(x, y, c) * ratio); };
  const SampleFn lowClean = [&](int x, int y, int c) { return static_cast<float>(clean(x, y, c) * ratio); };
  const std::string input = m_dir / "low32.tif";
  const std::string output = m_dir / "out.tif";
  WriteImage(input, 160, 120, 1, OIIO::TypeUInt32, low);
  const Result r = Run({"--variance", std::to_string(0.07 * range), "--iterations", "150", input, output});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.err, ::testing::Not(HasSubstr("larger than the spread"))) << "the level is within the data's spread";
  const ImageData in = ReadImage(input);
  const ImageData out = ReadImage(output);
  EXPECT_EQ(out.spec.format, OIIO::TypeUInt32);
  const double peak = 4294967295.0;
  EXPECT_GT(20 * std::log10(range / (RmsFromPicture(out, lowClean, 0) * peak)),
            20 * std::log10(range / (RmsFromPicture(in, lowClean, 0) * peak)) + 6.0);

  // The plug-in takes it in the working units, which --dry-run names.
  const Result dry = Run({"--dry-run", "--variance", std::to_string(0.07 * range), "--iterations", "150", input});
  ASSERT_EQ(dry.status, 0) << dry.err;
  EXPECT_THAT(dry.out, HasSubstr("Working units: 65536 of the file's units each; Noise Variance is in them\n"));
  const std::string marker = "Noise Variance: ";
  const std::size_t at = dry.out.find(marker);
  ASSERT_NE(at, std::string::npos) << dry.out;
  EXPECT_NEAR(std::atof(dry.out.c_str() + at + marker.size()), 0.07 * range / 65536, 1e-3) << dry.out;
}

// The pages of a file are held at once: their samples together are held
// to --max-samples, before any is decoded.
TEST_F(Program, PagesTogetherAreHeldToTheSampleLimit) {
  std::vector<Page> pages;
  for (int p = 0; p < 3; ++p) pages.push_back({OIIO::ImageSpec(kWidth, kHeight, 1, OIIO::TypeUInt8), NoisyPage(p, 0.05f)});
  const std::string input = m_dir / "pages.tif";
  WritePages(input, pages);
  const std::string limit = std::to_string(2 * kWidth * kHeight + 1);
  const Result r = Run({"--max-samples", limit, input, m_dir / "out.tif"});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "calvane: " + input + ": its first 3 images declare " + std::to_string(3 * kWidth * kHeight) +
                       " samples together, more than the limit of " + limit +
                       " samples (--max-samples); nothing was decoded\n");
  EXPECT_EQ(m_dir.Entries(), (std::vector<std::string>{"pages.tif"}));
}

}  // namespace
}  // namespace calvane::app::test
