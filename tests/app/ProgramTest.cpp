// The built calvane program, run as a person runs it, on real files in a
// temporary folder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <vector>

#include "ProgramFixture.h"
#include "TestFiles.h"

namespace calvane::app::test {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr int kWidth = 96;
constexpr int kHeight = 64;

TEST_F(Program, DenoisesAnEightBitGreyPngKeepingItsDepth) {
  WriteImage(m_dir / "noisy.png", kWidth, kHeight, 1, OIIO::TypeUInt8, NoisyCartoon(0.08f, 1));
  WriteImage(m_dir / "clean.png", kWidth, kHeight, 1, OIIO::TypeUInt8, Cartoon);
  const Result r = Run({"-q", "--variance", "18", "--iterations", "150", m_dir / "noisy.png", m_dir / "out.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "") << "quiet";
  const ImageData out = ReadImage(m_dir / "out.png");
  EXPECT_EQ(out.spec.format, OIIO::TypeUInt8);
  EXPECT_EQ(out.spec.nchannels, 1);
  const ImageData clean = ReadImage(m_dir / "clean.png");
  EXPECT_LT(RmsDifference(out, clean, 0), 0.6 * RmsDifference(ReadImage(m_dir / "noisy.png"), clean, 0));
  EXPECT_EQ(m_dir.Entries(), (std::vector<std::string>{"clean.png", "noisy.png", "out.png"})) << "no temporary left";
}

TEST_F(Program, SixteenBitRgbTiffKeepsDepthAndMetadata) {
  const std::vector<unsigned char> icc = {0, 0, 1, 44, 'c', 'a', 'l', 'v', 1, 2, 3, 4, 5, 6, 7, 8};
  WriteImage(m_dir / "scan.tif", kWidth, kHeight, 3, OIIO::TypeUInt16, NoisyCartoon(0.05f, 2), [&](OIIO::ImageSpec& s) {
    s.attribute("ICCProfile", OIIO::TypeDesc(OIIO::TypeDesc::UINT8, static_cast<int>(icc.size())), icc.data());
    s.attribute("XResolution", 300.0f);
    s.attribute("YResolution", 300.0f);
    s.attribute("ResolutionUnit", "in");
    s.attribute("ExposureTime", 0.01f);
  });
  const Result r = Run({"--variance", "3000", "--iterations", "60", m_dir / "scan.tif", m_dir / "out.tif"});
  ASSERT_EQ(r.status, 0) << r.err;
  const ImageData in = ReadImage(m_dir / "scan.tif");
  const ImageData out = ReadImage(m_dir / "out.tif");
  EXPECT_EQ(out.spec.format, OIIO::TypeUInt16);
  EXPECT_EQ(out.spec.nchannels, 3);
  EXPECT_EQ(out.spec.get_float_attribute("XResolution"), 300.0f);
  EXPECT_EQ(out.spec.get_float_attribute("ExposureTime"), 0.01f);
  const OIIO::ParamValue* profile = out.spec.find_attribute("ICCProfile");
  ASSERT_NE(profile, nullptr);
  ASSERT_EQ(profile->type().size(), icc.size());
  EXPECT_EQ(std::memcmp(profile->data(), icc.data(), icc.size()), 0);
  // Denoised towards the clean picture, in every channel.
  for (int c = 0; c < 3; ++c) {
    EXPECT_LT(RmsFromPicture(out, Cartoon, c), 0.5 * RmsFromPicture(in, Cartoon, c)) << "channel " << c;
  }
}

// A different picture in each colour channel and a fine pattern in alpha:
// each colour channel comes out close to its own clean picture (a sample
// taken from a neighbouring channel would be far from it), alpha exactly as
// it was.
float ChannelPicture(int x, int y, int c) {
  switch (c) {
    case 0: return Cartoon(x, y, 0);
    case 1: return 1.0f - Cartoon(x, y, 1);
    case 2: return Cartoon(kWidth - 1 - x, kHeight - 1 - y, 2);
    default: return ((x * 7 + y * 3) % 256) / 255.0f;
  }
}

TEST_F(Program, ColourChannelsBesideAlphaAreEachDenoisedAndAlphaIsUntouched) {
  for (const char* name : {"rgba.png", "rgba.exr"}) {
    SCOPED_TRACE(name);
    const SampleFn noisy = NoisyCartoon(0.06f, 3);  // its noise, less its picture
    const SampleFn sample = [&](int x, int y, int c) {
      return c == 3 ? ChannelPicture(x, y, c) : ChannelPicture(x, y, c) + noisy(x, y, c) - Cartoon(x, y, c);
    };
    const std::string input = m_dir / name;
    const std::string output = m_dir / (std::string("out-") + name);
    const OIIO::TypeDesc type = std::string(name).find(".exr") != std::string::npos ? OIIO::TypeFloat : OIIO::TypeUInt8;
    WriteImage(input, kWidth, kHeight, 4, type, sample);
    const Result r = Run({"-q", "--variance", "auto", "--iterations", "50", input, output});
    ASSERT_EQ(r.status, 0) << r.err;
    const ImageData in = ReadImage(input);
    const ImageData out = ReadImage(output);
    EXPECT_EQ(out.spec.format, type);
    ASSERT_EQ(out.spec.nchannels, 4);
    EXPECT_EQ(out.spec.alpha_channel, 3);
    EXPECT_EQ(RmsDifference(in, out, 3), 0.0);
    for (int c = 0; c < 3; ++c) {
      EXPECT_LT(RmsFromPicture(out, ChannelPicture, c), 0.5 * RmsFromPicture(in, ChannelPicture, c)) << "channel " << c;
    }
  }
}

TEST_F(Program, FloatExrStaysFloat) {
  WriteImage(m_dir / "frame.exr", kWidth, kHeight, 3, OIIO::TypeFloat, NoisyCartoon(0.05f, 4));
  const Result r = Run({"-q", "--variance", "0.04", "--iterations", "80", m_dir / "frame.exr", m_dir / "out.exr"});
  ASSERT_EQ(r.status, 0) << r.err;
  const ImageData out = ReadImage(m_dir / "out.exr");
  EXPECT_EQ(out.spec.format, OIIO::TypeFloat);
  const ImageData in = ReadImage(m_dir / "frame.exr");
  // The result stays within the noise level of the input.
  double sum = 0.0;
  for (int c = 0; c < 3; ++c) sum += std::pow(RmsDifference(in, out, c), 2);
  EXPECT_LE(std::sqrt(sum / 3), 0.04 * 1.001);
  for (int c = 0; c < 3; ++c) {
    EXPECT_LT(RmsFromPicture(out, Cartoon, c), 0.5 * RmsFromPicture(in, Cartoon, c)) << "channel " << c;
  }
}

// Formats that hold 16-bit samples get them: from a 16-bit TIFF, and from
// floating point where the format has no floating point. The samples are
// those the same run writes in the input's own format, to within half a
// 16-bit step.
TEST_F(Program, DeepSamplesStayDeepInFormatsThatHoldThem) {
  const struct {
    const char* input;
    OIIO::TypeDesc type;
    const char* variance;
    const char* same;
    const char* deep;
  } cases[] = {{"scan.tif", OIIO::TypeUInt16, "3000", "same.tif", "out.ppm"},
               {"render.exr", OIIO::TypeFloat, "0.045", "same.exr", "out.png"}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.deep);
    WriteImage(m_dir / k.input, kWidth, kHeight, 3, k.type, NoisyCartoon(0.05f, 9));
    for (const char* output : {k.same, k.deep}) {
      const Result r = Run({"-q", "--variance", k.variance, "--iterations", "40", m_dir / k.input, m_dir / output});
      ASSERT_EQ(r.status, 0) << r.err;
    }
    const ImageData same = ReadImage(m_dir / k.same);
    const ImageData deep = ReadImage(m_dir / k.deep);
    EXPECT_EQ(deep.spec.format, OIIO::TypeUInt16);
    ASSERT_EQ(deep.spec.nchannels, 3);
    ASSERT_EQ(deep.pixels.size(), same.pixels.size());
    double worst = 0.0;
    for (std::size_t i = 0; i < same.pixels.size(); ++i) {
      const double expected = std::min(1.0f, std::max(0.0f, same.pixels[i]));
      worst = std::max(worst, std::fabs(deep.pixels[i] - expected));
    }
    // Half a step of rounding; the reader takes the top value, 65535, for 65534.
    EXPECT_LE(worst, 1.5 / 65535);
    const ImageData in = ReadImage(m_dir / k.input);
    for (int c = 0; c < 3; ++c) EXPECT_LT(RmsFromPicture(deep, Cartoon, c), 0.5 * RmsFromPicture(in, Cartoon, c)) << c;
  }
}

TEST_F(Program, DryRunPrintsTheParametersAndWritesNothing) {
  Result r = Run({"--dry-run"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Noise Type: Additive\nNoise Variance: 5 (maximum 10000000)\nIterations: 20\n");

  WriteImage(m_dir / "in.png", kWidth, kHeight, 1, OIIO::TypeUInt8, Cartoon);
  r = Run({"--dry-run", "--noise", "multiplicative", "--variance", "0.5", "--iterations", "300", m_dir / "in.png",
           m_dir / "out.png"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Noise Type: Multiplicative\nNoise Variance: 0.5 (maximum 10000000)\nIterations: 300\n"
                   "Noise model: multiplicative\n");
  EXPECT_EQ(r.err, "calvane: --variance 0.5 has no effect with --noise multiplicative: that flow is not held to any level\n");
  EXPECT_EQ(m_dir.Entries(), std::vector<std::string>{"in.png"});
}

// The level is measured and reported in the file's own units: noise of 13
// in 8-bit terms is 13 x 257 in a 16-bit file and 13 / 255 in floating
// point of 0..1.
TEST_F(Program, AutoVarianceMeasuresTheNoiseInTheFilesUnits) {
  const double sigma = 13.0;
  const struct {
    const char* name;
    OIIO::TypeDesc type;
    double unit;  // one 8-bit step in the file's units
  } storages[] = {{"in.png", OIIO::TypeUInt8, 1.0}, {"in.tif", OIIO::TypeUInt16, 257.0}, {"in.exr", OIIO::TypeFloat, 1.0 / 255}};
  for (const auto& storage : storages) {
    SCOPED_TRACE(storage.name);
    WriteImage(m_dir / storage.name, 160, 120, 1, storage.type, NoisyCartoon(static_cast<float>(sigma / 255), 5));
    const Result r = Run({"--dry-run", "--variance", "auto", "--iterations", "100", m_dir / storage.name});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string estimated = "estimated noise level ";
    const std::size_t at = r.err.find(estimated);
    ASSERT_NE(at, std::string::npos) << r.err;
    const double level = sigma * storage.unit;
    EXPECT_NEAR(std::atof(r.err.c_str() + at + estimated.size()), level, 0.1 * level) << r.err;
    const std::string marker = "Noise Variance: ";
    const std::size_t value = r.out.find(marker);
    ASSERT_NE(value, std::string::npos) << r.out;
    // A piecewise-constant picture: the flow removes almost all of its noise,
    // so the noise level goes close to the full noise level.
    const double noiseLevel = std::atof(r.out.c_str() + value + marker.size());
    EXPECT_GE(noiseLevel, 0.85 * level) << r.out;
    EXPECT_LE(noiseLevel, 1.2 * level) << r.out;
  }
  EXPECT_EQ(m_dir.Entries(), (std::vector<std::string>{"in.exr", "in.png", "in.tif"}));
}

TEST_F(Program, EachFailureHasItsStatusAndOneLine) {
  WriteImage(m_dir / "in.png", kWidth, kHeight, 1, OIIO::TypeUInt8, NoisyCartoon(0.05f, 6));
  WriteText(m_dir / "text.png", "not an image");
  const std::string in = m_dir / "in.png";

  ExpectOneErrorLine(Run({in, in}), 2, "in.png");
  ExpectOneErrorLine(Run({in, m_dir / "out.xyz"}), 2, "out.xyz");
  ExpectOneErrorLine(Run({"--iterations", "0", in, m_dir / "out.png"}), 2, "--iterations");
  ExpectOneErrorLine(Run({"--variance", "-3", in, m_dir / "out.png"}), 2, "--variance");
  ExpectOneErrorLine(Run({"-i", "--ui", "terminal", in, m_dir / "out.png"}), 2, "interactive");
  {
    // No desktop to show the dialog on, when it is asked for.
    const char* display = std::getenv("DISPLAY");
    const std::string kept = display != nullptr ? display : "";
    unsetenv("DISPLAY");
    const Result desktop = Run({"-i", "--ui", "desktop", in, m_dir / "out.png"});
    if (display != nullptr) setenv("DISPLAY", kept.c_str(), 1);
    ExpectOneErrorLine(desktop, 2, "--ui desktop: ");
  }
  ExpectOneErrorLine(Run({m_dir / "missing.png", m_dir / "out.png"}), 3, "missing.png");
  ExpectOneErrorLine(Run({m_dir / "text.png", m_dir / "out.png"}), 3, "text.png");
  ExpectOneErrorLine(Run({"-q", in, m_dir / "no-such-folder/out.png"}), 3, "no-such-folder/out.png");
  ExpectOneErrorLine(Run({"--plugin", m_dir / "absent.so", in, m_dir / "out.png"}), 4, "absent.so");
  ExpectOneErrorLine(Run({"--plugin", CALVANE_HOST_LIBRARY, in, m_dir / "out.png"}), 4, "ENTRYPOINT");
  const Result old = Run({"--plugin", CALVANE_FAKE_OLD_PLUGIN, in, m_dir / "out.png"});
  ExpectOneErrorLine(old, 4, "0x01000000");
  EXPECT_THAT(old.err, HasSubstr(CALVANE_FAKE_OLD_PLUGIN));
  EXPECT_EQ(m_dir.Entries(), (std::vector<std::string>{"in.png", "text.png"})) << "nothing written";
}

TEST_F(Program, NeverOverwritesItsInput) {
  WriteImage(m_dir / "in.png", kWidth, kHeight, 1, OIIO::TypeUInt8, NoisyCartoon(0.05f, 6));
  const std::string before = ReadText(m_dir / "in.png");
  ASSERT_EQ(link((m_dir / "in.png").c_str(), (m_dir / "hard.png").c_str()), 0);
  ASSERT_EQ(symlink("in.png", (m_dir / "soft.png").c_str()), 0);
  for (const std::string& output : {m_dir / "hard.png", m_dir / "soft.png", m_dir.path() + "/./in.png"}) {
    EXPECT_EQ(Run({m_dir / "in.png", output}).status, 2) << output;
  }
  EXPECT_EQ(Run({"--preview", m_dir / "in.png", m_dir / "in.png", m_dir / "out.png"}).status, 2);
  EXPECT_EQ(ReadText(m_dir / "in.png"), before);
}

TEST_F(Program, ReplacesAnExistingOutputWhole) {
  WriteImage(m_dir / "in.png", kWidth, kHeight, 3, OIIO::TypeUInt8, NoisyCartoon(0.05f, 7));
  WriteText(m_dir / "out.png", "previous result");
  ASSERT_EQ(Run({"-q", m_dir / "in.png", m_dir / "out.png"}).status, 0);
  EXPECT_EQ(ReadImage(m_dir / "out.png").spec.nchannels, 3);
  EXPECT_EQ(m_dir.Entries(), (std::vector<std::string>{"in.png", "out.png"}));
}

// How many times the file at `path` is replaced before process `pid` ends,
// as far as looking at it over and over sees (never more than there were);
// the process is left to be waited for.
int ReplacementsUntilExit(pid_t pid, const std::string& path) {
  const auto identity = [&path] {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return std::vector<long long>{};
    return std::vector<long long>{static_cast<long long>(info.st_ino), info.st_mtim.tv_sec, info.st_mtim.tv_nsec,
                                  info.st_ctim.tv_sec, info.st_ctim.tv_nsec};
  };
  std::vector<long long> seen = identity();
  int replacements = 0;
  for (;;) {
    siginfo_t info{};
    const bool ended = waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
    const std::vector<long long> now = identity();
    if (now != seen) ++replacements;
    seen = now;
    if (ended) return replacements;
    usleep(200);
  }
}

TEST_F(Program, CtrlCStopsWithoutWritingAnything) {
  // Large and long enough that the run is still going when the signal
  // arrives; the preview file shows that the iterations have begun.
  WriteImage(m_dir / "big.png", 1200, 1000, 1, OIIO::TypeUInt8, NoisyCartoon(0.05f, 8));
  WriteText(m_dir / "out.png", "previous result");
  for (int interrupts : {1, 2}) {
    SCOPED_TRACE(interrupts);
    unlink((m_dir / "preview.bmp").c_str());
    const pid_t pid = Start({"--iterations", "1000", "--preview", m_dir / "preview.bmp", m_dir / "big.png",
                             m_dir / "out.png"});
    for (int wait = 0; wait < 6000 && access((m_dir / "preview.bmp").c_str(), F_OK) != 0; ++wait) usleep(10000);
    for (int i = 0; i < interrupts; ++i) kill(pid, SIGINT);
    // The first Ctrl-C asks the plug-in to stop at its next progress report,
    // so the preview is redrawn at most once more; a run left going would
    // redraw it every fifth of its 1000 iterations.
    EXPECT_LE(ReplacementsUntilExit(pid, m_dir / "preview.bmp"), 1);
    const Result r = Finish(pid);
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_EQ(ReadText(m_dir / "out.png"), "previous result");
    EXPECT_EQ(m_dir.Entries(), (std::vector<std::string>{"big.png", "out.png", "preview.bmp"}));
    const ImageData preview = ReadImage(m_dir / "preview.bmp");
    EXPECT_EQ(preview.spec.width, 1200);
    EXPECT_EQ(preview.spec.height, 1000);
  }
}

TEST_F(Program, DenoisesEveryFrameOfASequence) {
  for (int frame : {1, 2}) {
    WriteImage(m_dir / ("in_000" + std::to_string(frame) + ".png"), kWidth, kHeight, 1, OIIO::TypeUInt8,
               NoisyCartoon(0.06f, static_cast<unsigned>(frame)));
  }
  const Result r = Run({"--variance", "12", "--iterations", "60", m_dir / "in_%04d.png", m_dir / "out_####.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.err, HasSubstr("frame 1/2"));
  EXPECT_THAT(r.err, HasSubstr("frame 2/2"));
  EXPECT_EQ(m_dir.Entries(), (std::vector<std::string>{"in_0001.png", "in_0002.png", "out_0001.png", "out_0002.png"}));
  for (int frame : {1, 2}) {
    const std::string n = "000" + std::to_string(frame);
    EXPECT_LT(RmsFromPicture(ReadImage(m_dir / ("out_" + n + ".png")), Cartoon, 0),
              0.5 * RmsFromPicture(ReadImage(m_dir / ("in_" + n + ".png")), Cartoon, 0))
        << "frame " << frame;
  }
}

// Frames of an unpadded pattern go by their numbers: 10 and 11 after 9,
// though by name they come after 1. Each output is its own frame denoised.
TEST_F(Program, FramesOfAnUnpaddedSequenceGoInNumberOrder) {
  constexpr int kFrames = 11;
  // Every frame a different picture: the cartoon's step at 4 x its number.
  const auto picture = [](int frame) {
    return [frame](int x, int y, int c) { return Cartoon(x + 40 - 4 * frame, y, c); };
  };
  for (int frame = 1; frame <= kFrames; ++frame) {
    const SampleFn noisy = NoisyCartoon(0.06f, static_cast<unsigned>(100 + frame));
    const SampleFn clean = picture(frame);
    WriteImage(m_dir / ("in_" + std::to_string(frame) + ".png"), 48, 32, 1, OIIO::TypeUInt8,
               [&](int x, int y, int c) { return clean(x, y, c) + noisy(x, y, c) - Cartoon(x, y, c); });
  }
  const Result r = Run({"--variance", "14", "--iterations", "30", m_dir / "in_%d.png", m_dir / "out_%d.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::size_t at = 0;
  for (int frame = 1; frame <= kFrames; ++frame) {
    const std::string n = std::to_string(frame);
    const std::string line = "frame " + n + "/11 " + m_dir / ("in_" + n + ".png") + " -> " + m_dir / ("out_" + n + ".png");
    const std::size_t found = r.err.find(line, at);
    ASSERT_NE(found, std::string::npos) << line << " in its place in\n" << r.err;
    at = found + line.size();
    EXPECT_LT(RmsFromPicture(ReadImage(m_dir / ("out_" + n + ".png")), picture(frame), 0),
              0.6 * RmsFromPicture(ReadImage(m_dir / ("in_" + n + ".png")), picture(frame), 0))
        << "frame " << frame;
  }
}

// Each of these would be found only at the end, after the whole denoise;
// they are found first: nothing but the one line is printed, not a note of
// a chosen setting, and nothing is written.
TEST_F(Program, OutputProblemsAreFoundBeforeAnyWork) {
  WriteImage(m_dir / "rgb.png", kWidth, kHeight, 3, OIIO::TypeUInt8, NoisyCartoon(0.05f, 20));
  WriteImage(m_dir / "grey.png", kWidth, kHeight, 1, OIIO::TypeUInt8, NoisyCartoon(0.05f, 21));
  WriteImage(m_dir / "five.tif", kWidth, kHeight, 5, OIIO::TypeUInt8, NoisyCartoon(0.05f, 22));
  WriteText(m_dir / "text.png", "not an image");
  const std::string dir = m_dir.path();
  const std::pair<std::vector<std::string>, std::pair<int, std::string>> cases[] = {
      {{dir + "/rgb.png", dir + "/none/out.png"}, {3, dir + "/none/out.png: the folder " + dir + "/none does not exist"}},
      {{dir + "/rgb.png", dir + "/grey.png/out.png"}, {3, dir + "/grey.png/out.png: " + dir + "/grey.png is not a folder"}},
      // The folder is tried even before the input is read.
      {{dir + "/text.png", dir + "/none/out.png"}, {3, dir + "/none/out.png: the folder " + dir + "/none does not exist"}},
      {{"--preview", dir + "/none/p.png", dir + "/rgb.png", dir + "/out.png"},
       {3, dir + "/none/p.png: the folder " + dir + "/none does not exist"}},
      {{dir + "/grey.png", dir + "/out.gif"},
       {2, dir + "/out.gif: the .gif format cannot hold this image of 1 channel of 8-bit samples (gif does not support "
               "1-channel images); choose another extension, such as .tif"}},
      {{dir + "/five.tif", dir + "/out.png"},
       {2, dir + "/out.png: the .png format cannot hold this image of 5 channels of 8-bit samples (PNG only supports "
               "1-4 channels, not 5); choose another extension, such as .tif"}},
  };
  for (const auto& [args, expected] : cases) {
    const Result r = Run(args);
    EXPECT_EQ(r.status, expected.first) << r.err;
    EXPECT_EQ(r.err, "calvane: " + expected.second + "\n");
  }
  EXPECT_EQ(m_dir.Entries(), (std::vector<std::string>{"five.tif", "grey.png", "rgb.png", "text.png"})) << "nothing written";
}

// Formats that store less than the image has are written with a note
// given before the work: an RGB GIF gains an opaque alpha and a palette, a
// 16-bit JPEG becomes 8-bit.
TEST_F(Program, ConversionsOfTheOutputFormatAreNoted) {
  WriteImage(m_dir / "rgb.png", kWidth, kHeight, 3, OIIO::TypeUInt8, NoisyCartoon(0.05f, 23));
  WriteImage(m_dir / "deep.tif", kWidth, kHeight, 3, OIIO::TypeUInt16, NoisyCartoon(0.05f, 24));
  const std::string gif = m_dir / "out.gif";
  Result r = Run({"--variance", "10", "--iterations", "20", m_dir / "rgb.png", gif});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.err, StartsWith("calvane: " + gif + ": written with 4 channels (the input has 3), as the .gif format "
                                "stores them\ncalvane: " + gif + ": the .gif format holds at most 256 colours; the "
                                "result is reduced to them\ncalvane: " + m_dir / "rgb.png -> " + gif));
  const ImageData out = ReadImage(gif);
  ASSERT_EQ(out.spec.nchannels, 4);
  EXPECT_EQ(out.spec.format, OIIO::TypeUInt8);
  long opaque = 0;
  for (std::size_t i = 3; i < out.pixels.size(); i += 4) opaque += out.pixels[i] == 1.0f ? 1 : 0;
  EXPECT_EQ(opaque, static_cast<long>(kWidth) * kHeight);
  // The picture, denoised: within the noise of the clean one, palette and all.
  const ImageData in = ReadImage(m_dir / "rgb.png");
  for (int c = 0; c < 3; ++c) EXPECT_LT(RmsDifference(in, out, c), 0.05) << c;

  r = Run({"--variance", "3000", "--iterations", "20", m_dir / "deep.tif", m_dir / "out.jpg"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.err, StartsWith("calvane: " + m_dir / "out.jpg" + ": written with 8-bit samples (the input has 16-bit), "
                                "as the .jpg format stores them\n"));
  EXPECT_EQ(ReadImage(m_dir / "out.jpg").spec.format, OIIO::TypeUInt8);
}

TEST_F(Program, AGreyImageOverTheSampleLimitIsOneChannel) {
  WriteImage(m_dir / "grey.png", kWidth, kHeight, 1, OIIO::TypeUInt8, Cartoon);
  const Result r = Run({"--max-samples", "100", m_dir / "grey.png", m_dir / "out.png"});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "calvane: " + m_dir / "grey.png" + ": the image declares 96x64 pixels of 1 channel, more than the "
                   "limit of 100 samples (--max-samples); nothing was decoded\n");
}

}  // namespace
}  // namespace calvane::app::test
