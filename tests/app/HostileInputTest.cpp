// The built calvane program given files and places that work against it:
// damaged and deceptive images, headers that promise too much, samples that
// are not numbers, folders it cannot write to, a disk that fills up, and
// plug-in files that are not the plug-in. Each ends in one line on stderr,
// its own exit status, no output file and an untouched input.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "TestFiles.h"

namespace calvane::app::test {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

// The child could not set up what the test needs (for one, a mount
// namespace without root).
constexpr int kUnavailable = 125;

struct Outcome {
  int status = -1;
  std::string err;
  std::string setupProblem;  // why the child could not set up, if it could not
};

class HostileInput : public ::testing::Test {
 protected:
  // TempDir removes files only; the folders the tests make go here.
  void TearDown() override {
    for (const TempDir* dir : {&m_dir, &m_logs}) {
      for (const std::string& name : dir->Entries()) rmdir((*dir / name).c_str());
    }
  }

  // Runs calvane in a child process. `setUp` runs in that child first and
  // returns an error text when it cannot do its part; `listFolder`, when
  // given, is listed from inside the child after calvane has ended (what a
  // private mount holds can be seen only there), into Listing().
  Outcome Run(const std::vector<std::string>& args, const std::function<std::string()>& setUp = nullptr,
              const std::string& listFolder = "") {
    std::vector<std::string> all = {CALVANE_PROGRAM};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const std::string errPath = m_logs / "err";
    const std::string problemPath = m_logs / "problem";
    const std::string listingPath = m_logs / "listing";
    unlink(problemPath.c_str());
    unlink(listingPath.c_str());

    const pid_t child = fork();
    if (child == 0) {
      if (setUp) {
        const std::string problem = setUp();
        if (!problem.empty()) {
          WriteText(problemPath, problem);
          _exit(kUnavailable);
        }
      }
      const pid_t program = fork();
      if (program == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, 0);
        dup2(err, 1);
        dup2(err, 2);
        execv(CALVANE_PROGRAM, argv.data());
        _exit(127);
      }
      int status = 0;
      waitpid(program, &status, 0);
      if (!listFolder.empty()) {
        std::string listing;
        for (const std::string& name : ListFolder(listFolder)) listing += name + "\n";
        WriteText(listingPath, listing);
      }
      _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    }
    int status = 0;
    waitpid(child, &status, 0);
    Outcome outcome;
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    if (outcome.status == kUnavailable) outcome.setupProblem = ReadText(problemPath);
    outcome.err = outcome.setupProblem.empty() ? ReadText(errPath) : "";
    return outcome;
  }

  std::string Listing() const { return ReadText(m_logs / "listing"); }

  static std::vector<std::string> ListFolder(const std::string& path) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(path.c_str())) {
      while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
      }
      closedir(dir);
    }
    return names;
  }

  // The one error line, naming `naming`, and nothing else.
  static void ExpectRefused(const Outcome& r, int status, const std::string& naming) {
    EXPECT_EQ(r.status, status) << r.err;
    EXPECT_THAT(r.err, StartsWith("calvane: "));
    EXPECT_THAT(r.err, HasSubstr(naming));
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }

  std::string WriteInput(const std::string& name, int width = 96, int height = 64) {
    WriteImage(m_dir / name, width, height, 3, OIIO::TypeUInt8, NoisyCartoon(0.05f, 11));
    return m_dir / name;
  }

  TempDir m_dir;
  TempDir m_logs;
};

// Private mounts for one child: a tmpfs of `bytes` over `folder`, read-only
// when asked. Empty on success, else why not.
std::function<std::string()> PrivateTmpfs(const std::string& folder, std::size_t bytes, bool readOnly) {
  return [=]() -> std::string {
    if (unshare(CLONE_NEWNS) != 0) return std::string("no private mount namespace: ") + std::strerror(errno);
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
      return std::string("cannot make mounts private: ") + std::strerror(errno);
    }
    const std::string options = "size=" + std::to_string(bytes);
    const unsigned long flags = readOnly ? MS_RDONLY : 0;
    if (mount("calvane-test", folder.c_str(), "tmpfs", flags, options.c_str()) != 0) {
      return std::string("cannot mount a tmpfs: ") + std::strerror(errno);
    }
    return {};
  };
}

std::vector<unsigned char> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  WriteText(path, std::string(bytes.begin(), bytes.end()));
}

void Append32(std::vector<unsigned char>& out, std::uint32_t value, bool bigEndian) {
  for (int i = 0; i < 4; ++i) {
    const int shift = bigEndian ? 24 - 8 * i : 8 * i;
    out.push_back(static_cast<unsigned char>(value >> shift));
  }
}

std::uint32_t Crc32(const unsigned char* data, std::size_t size) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// A PNG header for width x height RGB pixels, with one tiny data chunk.
std::vector<unsigned char> PngHeader(std::uint32_t width, std::uint32_t height) {
  std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<unsigned char> ihdr = Bytes("IHDR");
  Append32(ihdr, width, true);
  Append32(ihdr, height, true);
  for (unsigned char b : {8, 2, 0, 0, 0}) ihdr.push_back(b);
  Append32(png, 13, true);
  png.insert(png.end(), ihdr.begin(), ihdr.end());
  Append32(png, Crc32(ihdr.data(), ihdr.size()), true);
  const std::vector<unsigned char> idat = {'I', 'D', 'A', 'T', 0x78, 0x9C, 0x63, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01};
  Append32(png, static_cast<std::uint32_t>(idat.size() - 4), true);
  png.insert(png.end(), idat.begin(), idat.end());
  Append32(png, Crc32(idat.data(), idat.size()), true);
  return png;
}

// A little-endian TIFF of width x height 8-bit grey in one (missing) strip.
std::vector<unsigned char> TiffHeader(std::uint32_t width, std::uint32_t height) {
  std::vector<unsigned char> tiff = {'I', 'I', 42, 0};
  Append32(tiff, 8, false);
  const std::vector<std::pair<std::uint16_t, std::uint32_t>> tags = {
      {256, width}, {257, height}, {258, 8}, {259, 1}, {262, 1}, {273, 200}, {277, 1}, {278, height}, {279, 100}};
  tiff.push_back(static_cast<unsigned char>(tags.size()));
  tiff.push_back(0);
  for (const auto& [tag, value] : tags) {
    tiff.push_back(static_cast<unsigned char>(tag));
    tiff.push_back(static_cast<unsigned char>(tag >> 8));
    tiff.push_back(4);  // LONG
    tiff.push_back(0);
    Append32(tiff, 1, false);
    Append32(tiff, value, false);
  }
  Append32(tiff, 0, false);
  tiff.resize(300, 0);
  return tiff;
}

std::vector<unsigned char> GifHeader(std::uint16_t width, std::uint16_t height) {
  std::vector<unsigned char> gif = Bytes("GIF89a");
  for (std::uint16_t v : {width, height}) {
    gif.push_back(static_cast<unsigned char>(v));
    gif.push_back(static_cast<unsigned char>(v >> 8));
  }
  // No colour table; one 2x2 image at the origin, its data, the trailer.
  const unsigned char rest[] = {0x00, 0x00, 0x00, ',', 0, 0, 0, 0, 2, 0, 2, 0, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, ';'};
  gif.insert(gif.end(), std::begin(rest), std::end(rest));
  return gif;
}

TEST_F(HostileInput, DamagedFilesOfEveryCommonFormatAreRefused) {
  for (const char* extension : {"png", "jpg", "tif", "exr", "bmp", "ppm"}) {
    SCOPED_TRACE(extension);
    const std::string whole = WriteInput(std::string("whole.") + extension);
    const std::string bytes = ReadText(whole);
    unlink(whole.c_str());
    for (const std::size_t keep : {bytes.size() / 2, std::size_t{24}, std::size_t{0}}) {
      SCOPED_TRACE(keep);
      const std::string cut = m_dir / (std::string("cut.") + extension);
      WriteText(cut, bytes.substr(0, keep));
      ExpectRefused(Run({"-q", cut, m_dir / "out.png"}), 3, cut);
      unlink(cut.c_str());
    }
  }
  EXPECT_EQ(m_dir.Entries(), std::vector<std::string>{}) << "no output, nothing left behind";
}

TEST_F(HostileInput, MislabelledFilesAreReadByTheirContentOrRefused) {
  // A whole JPEG under a PNG name is still a picture: it is read as what it is.
  const std::string source = WriteInput("source.jpg");
  const std::string misnamed = m_dir / "photo.png";
  WriteText(misnamed, ReadText(source));
  EXPECT_EQ(Run({"-q", misnamed, m_dir / "out.png"}).status, 0);
  const ImageData out = ReadImage(m_dir / "out.png");
  ASSERT_EQ(out.spec.width, 96);
  ASSERT_EQ(out.spec.nchannels, 3);
  const ImageData read = ReadImage(source);
  for (int c = 0; c < 3; ++c) EXPECT_LT(RmsFromPicture(out, Cartoon, c), 0.6 * RmsFromPicture(read, Cartoon, c)) << c;

  // Text, or a cut-off TIFF, under image names are refused.
  WriteText(m_dir / "notes.jpg", "these are not the pixels you are looking for\n");
  ExpectRefused(Run({"-q", m_dir / "notes.jpg", m_dir / "out2.png"}), 3, "notes.jpg");
  WriteImage(m_dir / "scan.tif", 96, 64, 1, OIIO::TypeUInt16, Cartoon);
  const std::string tiff = ReadText(m_dir / "scan.tif");
  WriteText(m_dir / "scan.exr", tiff.substr(0, tiff.size() / 3));
  ExpectRefused(Run({"-q", m_dir / "scan.exr", m_dir / "out2.png"}), 3, "scan.exr");
  EXPECT_EQ(m_dir.Entries(), (std::vector<std::string>{"notes.jpg", "out.png", "photo.png", "scan.exr", "scan.tif",
                                                        "source.jpg"}));
}

TEST_F(HostileInput, FoldersPipesAndDevicesAreNoImageFiles) {
  ASSERT_EQ(mkdir((m_dir / "folder.png").c_str(), 0755), 0);
  ASSERT_EQ(mkfifo((m_dir / "pipe.png").c_str(), 0644), 0);
  ExpectRefused(Run({"-q", m_dir / "folder.png", m_dir / "out.png"}), 3, "folder");
  // Opening a pipe with no writer would wait forever; it is refused unopened.
  ExpectRefused(Run({"-q", m_dir / "pipe.png", m_dir / "out.png"}), 3, "not a regular file");
  ExpectRefused(Run({"-q", "/dev/zero", m_dir / "out.png"}), 3, "/dev/zero");
  EXPECT_EQ(m_dir.Entries(), (std::vector<std::string>{"folder.png", "pipe.png"}));
}

TEST_F(HostileInput, HeadersDeclaringTooManyPixelsAreRefusedUndecoded) {
  WriteBytes(m_dir / "bomb.png", PngHeader(60000, 60000));
  WriteBytes(m_dir / "bomb.tif", TiffHeader(100000, 100000));
  WriteBytes(m_dir / "bomb.gif", GifHeader(65535, 65535));
  WriteText(m_dir / "bomb.ppm", "P6\n100000 100000\n255\n" + std::string(64, '\0'));
  for (const char* name : {"bomb.png", "bomb.tif", "bomb.gif", "bomb.ppm"}) {
    SCOPED_TRACE(name);
    const Outcome r = Run({"-q", m_dir / name, m_dir / "out.png"});
    ExpectRefused(r, 3, name);
    EXPECT_THAT(r.err, HasSubstr("--max-samples"));
    EXPECT_THAT(r.err, HasSubstr("nothing was decoded"));
  }
  EXPECT_EQ(m_dir.Entries(), (std::vector<std::string>{"bomb.gif", "bomb.png", "bomb.ppm", "bomb.tif"}));
}

TEST_F(HostileInput, TheSampleLimitIsAnOption) {
  const std::string in = WriteInput("in.png");  // 96 x 64 x 3 = 18432 samples
  const Outcome over = Run({"-q", "--max-samples", "18431", in, m_dir / "out.png"});
  ExpectRefused(over, 3, "96x64");
  EXPECT_THAT(over.err, HasSubstr("18431"));
  EXPECT_EQ(Run({"-q", "--max-samples", "18432", in, m_dir / "out.png"}).status, 0);
  for (const char* bad : {"0", "-5", "many", ""}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(Run({"-q", "--max-samples", bad, in, m_dir / "out2.png"}).status, 2);
  }
  EXPECT_EQ(m_dir.Entries(), (std::vector<std::string>{"in.png", "out.png"}));
}

TEST_F(HostileInput, SamplesThatAreNotNumbersAreCountedAndRefused) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  // Three NaN and two infinite colour samples; alpha's NaN is not denoised
  // and does not count.
  const SampleFn sample = [&](int x, int y, int c) {
    if (c == 3) return x == 5 && y == 5 ? nan : 1.0f;
    if (y == 2 && x < 3 && c == 0) return nan;
    if (y == 7 && x == 9) return c == 1 ? inf : (c == 2 ? -inf : 0.5f);
    return Cartoon(x, y, c);
  };
  WriteImage(m_dir / "hdr.exr", 96, 64, 4, OIIO::TypeFloat, sample);
  const std::string before = ReadText(m_dir / "hdr.exr");
  const Outcome r = Run({"-q", m_dir / "hdr.exr", m_dir / "out.exr"});
  ExpectRefused(r, 3, "hdr.exr");
  EXPECT_THAT(r.err, HasSubstr("5 samples"));
  EXPECT_EQ(ReadText(m_dir / "hdr.exr"), before);
  EXPECT_EQ(m_dir.Entries(), std::vector<std::string>{"hdr.exr"});

  WriteImage(m_dir / "alpha.exr", 96, 64, 4, OIIO::TypeFloat,
             [&](int x, int y, int c) { return c == 3 && x == 1 ? nan : Cartoon(x, y, c); });
  EXPECT_EQ(Run({"-q", m_dir / "alpha.exr", m_dir / "out.exr"}).status, 0);
  const ImageData out = ReadImage(m_dir / "out.exr");
  ASSERT_EQ(out.spec.nchannels, 4);
  for (int c = 0; c < 3; ++c) EXPECT_LT(RmsFromPicture(out, Cartoon, c), 0.01) << c;
  for (std::size_t i = 0; i < out.pixels.size(); i += 4) {
    const bool nanColumn = (i / 4) % 96 == 1;
    ASSERT_EQ(std::isnan(out.pixels[i + 3]), nanColumn) << "alpha of pixel " << i / 4;
  }
}

TEST_F(HostileInput, SamplesTooLargeForSinglePrecisionArithmeticAreRefused) {
  // Finite, but the flow's projection would take them past the largest
  // float and write infinities.
  WriteImage(m_dir / "huge.exr", 32, 16, 1, OIIO::TypeFloat,
             [](int x, int y, int) { return x == 3 && y < 2 ? 3e38f : (x < 16 ? 0.2f : 0.8f); });
  const Outcome r = Run({"-q", "--variance", "0.01", m_dir / "huge.exr", m_dir / "out.exr"});
  ExpectRefused(r, 3, "huge.exr");
  EXPECT_THAT(r.err, HasSubstr("2 samples"));
  EXPECT_EQ(m_dir.Entries(), std::vector<std::string>{"huge.exr"});
}

TEST_F(HostileInput, AnOutputFolderThatCannotBeWrittenLeavesNothing) {
  const std::string in = WriteInput("in.png");
  const std::string before = ReadText(in);
  // Below a regular file: no one, root included, can create anything there.
  ExpectRefused(Run({"-q", in, in + "/out.png"}), 3, "in.png/out.png");

  ASSERT_EQ(mkdir((m_dir / "locked").c_str(), 0755), 0);
  const Outcome r = Run({"-q", in, m_dir / "locked/out.png"}, PrivateTmpfs(m_dir / "locked", 1 << 20, true),
                        m_dir / "locked");
  if (!r.setupProblem.empty()) GTEST_SKIP() << "a read-only folder needs a private mount: " << r.setupProblem;
  ExpectRefused(r, 3, "locked/out.png");
  EXPECT_THAT(r.err, HasSubstr("Read-only file system"));
  EXPECT_EQ(Listing(), "");
  EXPECT_EQ(ReadText(in), before);
}

TEST_F(HostileInput, AFullDiskLeavesNoPartialFile) {
  // Noise compresses badly: the result needs far more than the disk has.
  WriteImage(m_dir / "in.png", 256, 256, 3, OIIO::TypeUInt8, NoisyCartoon(0.3f, 12));
  const std::string in = m_dir / "in.png";
  const std::string before = ReadText(in);
  ASSERT_EQ(mkdir((m_dir / "small").c_str(), 0755), 0);
  for (const char* name : {"out.png", "out.tif", "out.jpg", "out.exr"}) {
    SCOPED_TRACE(name);
    const std::string out = m_dir / "small/" + name;
    const Outcome r = Run({"-q", "--iterations", "2", in, out}, PrivateTmpfs(m_dir / "small", 32 << 10, false),
                          m_dir / "small");
    if (!r.setupProblem.empty()) GTEST_SKIP() << "a small disk needs a private tmpfs mount: " << r.setupProblem;
    ExpectRefused(r, 3, name);
    EXPECT_THAT(r.err, ::testing::AnyOf(HasSubstr("No space left on device"), HasSubstr("the disk is full")));
    EXPECT_EQ(Listing(), "") << "no temporary or partial file";
  }
  EXPECT_EQ(ReadText(in), before);
}

TEST_F(HostileInput, WritesPastTheFileSizeLimitFailWithoutAPartialFile) {
  // The same refusal as a full disk, through the process's file size limit,
  // for the formats whose encoders do not check their writes themselves.
  WriteImage(m_dir / "in.png", 256, 256, 3, OIIO::TypeUInt8, NoisyCartoon(0.3f, 13));
  const std::string in = m_dir / "in.png";
  const std::function<std::string()> limitFileSize = [] {
    const rlimit limit{16 << 10, 16 << 10};
    return setrlimit(RLIMIT_FSIZE, &limit) == 0 ? std::string() : std::string(std::strerror(errno));
  };
  for (const char* name : {"out.png", "out.bmp", "out.jpg", "out.tif", "out.exr", "out.sgi", "out.ppm"}) {
    SCOPED_TRACE(name);
    const Outcome r = Run({"-q", "--iterations", "2", in, m_dir / name}, limitFileSize);
    ASSERT_EQ(r.setupProblem, "");
    ExpectRefused(r, 3, name);
    EXPECT_THAT(r.err, ::testing::Not(HasSubstr("disk"))) << "the disk has room: no guess that it is full";
  }
  EXPECT_EQ(m_dir.Entries(), std::vector<std::string>{"in.png"});
}

// The output's format is tried before any work by writing a corner of the
// image, metadata and all, the way the whole is written: JPEG's encoder,
// which ends the process when a write fails, writes it to memory first, so
// that a file size limit the corner already passes is reported at once.
TEST_F(HostileInput, AnOutputThatCannotBeWrittenAtAllIsFoundBeforeAnyWork) {
  WriteImage(m_dir / "in.png", 96, 64, 3, OIIO::TypeUInt8, NoisyCartoon(0.05f, 14),
             [](OIIO::ImageSpec& spec) { spec.attribute("ImageDescription", std::string(3000, 'x')); });
  const std::function<std::string()> limitFileSize = [] {
    const rlimit limit{1 << 10, 1 << 10};
    return setrlimit(RLIMIT_FSIZE, &limit) == 0 ? std::string() : std::string(std::strerror(errno));
  };
  const Outcome r = Run({m_dir / "in.png", m_dir / "out.jpg"}, limitFileSize);
  ASSERT_EQ(r.setupProblem, "");
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "calvane: " + m_dir / "out.jpg" + ": cannot write: File too large\n") << "no note of any setting";
  EXPECT_EQ(m_dir.Entries(), std::vector<std::string>{"in.png"});
}

TEST_F(HostileInput, AFailedRenameLeavesTheTemporaryFileRemoved) {
  const std::string in = WriteInput("in.png");
  // A folder in the way of the output's name: the file is written in full
  // beside it, and the final rename is refused.
  ASSERT_EQ(mkdir((m_dir / "out.png").c_str(), 0755), 0);
  ExpectRefused(Run({"-q", in, m_dir / "out.png"}), 3, "out.png");
  EXPECT_EQ(m_dir.Entries(), (std::vector<std::string>{"in.png", "out.png"}));
  EXPECT_EQ(ListFolder(m_dir / "out.png"), std::vector<std::string>{});
}

TEST_F(HostileInput, FilesThatAreNotThePlugInEndWithStatusFour) {
  const std::string in = WriteInput("in.png");
  WriteText(m_logs / "text.so", "not a shared library\n");
  ASSERT_EQ(mkdir((m_logs / "folder.so").c_str(), 0755), 0);
  ExpectRefused(Run({"--plugin", m_logs / "text.so", in, m_dir / "out.png"}), 4, "text.so");
  ExpectRefused(Run({"--plugin", m_logs / "folder.so", in, m_dir / "out.png"}), 4, "folder.so");
  ExpectRefused(Run({"--plugin", m_logs / "missing.so", in, m_dir / "out.png"}), 4, "missing.so");
  ExpectRefused(Run({"--plugin", CALVANE_HOST_LIBRARY, in, m_dir / "out.png"}), 4, "ENTRYPOINT");
  ExpectRefused(Run({"--plugin", CALVANE_FAKE_OLD_PLUGIN, in, m_dir / "out.png"}), 4, "version word 0x01000000");
  EXPECT_EQ(m_dir.Entries(), std::vector<std::string>{"in.png"});
}

}  // namespace
}  // namespace calvane::app::test
