// The image input/output module (libcalvimageio.so), opened on the first
// call that reads or writes an image: starts that touch no image work
// without it and never load it; an image run that cannot open it ends with
// a file error naming it; what the module throws and what it leaves to the
// program (the clean-up of a half-written file) arrive in the program.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ProgramFixture.h"
#include "TestFiles.h"
#include "app/ExitStatus.h"
#include "app/ImageFile.h"
#include "app/ImageIoModule.h"
#include "app/Interrupt.h"

extern char** environ;

namespace calvane::app {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using test::ReadText;
using test::TempDir;

constexpr const char* kModule = "libcalvimageio.so";

using test::Result;
using test::RunProgram;

void WriteSmallPng(const std::string& path) {
  test::WriteImage(path, 24, 16, 3, OIIO::TypeUInt8, test::NoisyCartoon(0.05f, 3));
}

// The built program copied into a folder of its own, beside links to the
// plug-in, the private libraries and the help page of the build, but not
// to the image input/output module.
class WithoutTheModule : public ::testing::Test {
 protected:
  WithoutTheModule() {
    const fs::path built = fs::path(CALVANE_PROGRAM).parent_path();
    for (const fs::directory_entry& entry : fs::directory_iterator(built)) {
      const std::string name = entry.path().filename().string();
      if (name == kModule || (entry.path().extension() != ".so" && name != "Calvane.htm")) continue;
      fs::create_symlink(entry.path(), m_bin / name);
    }
    fs::copy_file(CALVANE_PROGRAM, m_program);
  }

  TempDir m_bin;
  TempDir m_work;
  const std::string m_program = m_bin / "calvane";
  const std::string m_module = m_bin / kModule;
};

// --version, --help, a usage error and a dry run without an image answer
// exactly as the program beside its module does.
TEST_F(WithoutTheModule, StartsThatTouchNoImageAnswerAsUsual) {
  const struct {
    std::vector<std::string> args;
    int status;
    const char* says;
  } cases[] = {{{"--version"}, 0, "calvane 1."},
               {{"--help"}, 0, "Usage: calvane"},
               {{"--iterations", "20", "--no-such-option"}, 2, "--no-such-option is not an option of calvane"},
               {{"--dry-run", "--variance", "5", "--iterations", "20"}, 0, "Iterations: 20"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front());
    const Result alone = RunProgram(m_program, c.args);
    const Result usual = RunProgram(CALVANE_PROGRAM, c.args);
    EXPECT_EQ(alone.status, c.status) << alone.err;
    EXPECT_THAT(alone.out + alone.err, HasSubstr(c.says));
    EXPECT_EQ(alone.out, usual.out);
    EXPECT_EQ(alone.err, usual.err);
  }
}

// The first image read ends the run with status 3 and one line naming the
// module and why it did not open; nothing is written.
TEST_F(WithoutTheModule, AnImageRunEndsWithAFileErrorNamingTheModule) {
  WriteSmallPng(m_work / "in.png");
  const std::string expected = "calvane: " + m_module + ": cannot open the image input/output module (" + m_module +
                               ": cannot open shared object file: No such file or directory); no image file can be "
                               "read or written\n";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--variance", "5", "--iterations", "2", m_work / "in.png", m_work / "out.png"},
        std::vector<std::string>{"--dry-run", m_work / "in.png"}}) {
    SCOPED_TRACE(args.front());
    const Result r = RunProgram(m_program, args);
    EXPECT_EQ(r.status, static_cast<int>(ExitStatus::File));
    EXPECT_EQ(r.err, expected);
    EXPECT_EQ(m_work.Entries(), std::vector<std::string>{"in.png"});
  }
}

// A binary PPM, read by the program itself.
void WriteSmallPpm(const std::string& path) {
  std::string bytes = "P6\n24 16\n255\n";
  for (int i = 0; i < 24 * 16 * 3; ++i) bytes += static_cast<char>((i * 37) % 256);
  test::WriteText(path, bytes);
}

// The files the program reads and writes itself need no module: a PPM
// denoised into a PNG, and that PNG into a PGM-named file.
TEST_F(WithoutTheModule, PlainPngAndPnmAreDenoisedWithoutIt) {
  WriteSmallPpm(m_work / "in.ppm");
  Result r = RunProgram(m_program, {"-q", "--variance", "5", "--iterations", "2", m_work / "in.ppm", m_work / "out.png"});
  EXPECT_EQ(r.status, 0) << r.err;
  r = RunProgram(m_program, {"-q", "--variance", "5", "--iterations", "2", m_work / "out.png", m_work / "again.ppm"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(m_work.Entries(), (std::vector<std::string>{"again.ppm", "in.ppm", "out.png"}));
  // Written to another format, the PNG needs the module to describe it.
  r = RunProgram(m_program, {"-q", "--variance", "5", "--iterations", "2", m_work / "out.png", m_work / "out.tif"});
  EXPECT_EQ(r.status, static_cast<int>(ExitStatus::File));
  EXPECT_THAT(r.err, HasSubstr("cannot open the image input/output module"));
  EXPECT_EQ(m_work.Entries(), (std::vector<std::string>{"again.ppm", "in.ppm", "out.png"}));
}

// A file in the module's place that is no library, or another library, is
// refused the same way, with the loader's reason or what it lacks.
TEST_F(WithoutTheModule, AFileInItsPlaceThatIsNotTheModuleIsAFileError) {
  WriteSmallPng(m_work / "in.png");
  const std::vector<std::string> args = {"-q", "--variance", "5", "--iterations", "2", m_work / "in.png",
                                         m_work / "out.png"};

  test::WriteText(m_module, std::string(200, 'x'));
  Result r = RunProgram(m_program, args);
  EXPECT_EQ(r.status, static_cast<int>(ExitStatus::File));
  EXPECT_EQ(r.err, "calvane: " + m_module + ": cannot open the image input/output module (" + m_module +
                       ": invalid ELF header); no image file can be read or written\n");

  fs::remove(m_module);
  fs::create_symlink(fs::path(CALVANE_PROGRAM).parent_path() / "libcalvterm.so", m_module);
  r = RunProgram(m_program, args);
  EXPECT_EQ(r.status, static_cast<int>(ExitStatus::File));
  EXPECT_EQ(r.err, "calvane: " + m_module + ": not calvane's image input/output module: it exports no "
                                            "calvimageio_functions\n");

  // The module of another version: its table would be read in the wrong
  // layout.
  fs::remove(m_module);
  fs::create_symlink(CALVANE_FAKE_OTHER_IMAGE_IO, m_module);
  r = RunProgram(m_program, args);
  EXPECT_EQ(r.status, static_cast<int>(ExitStatus::File));
  EXPECT_EQ(r.err, "calvane: " + m_module + ": image input/output module of interface " +
                       std::to_string(kImageIoInterfaceVersion + 1) + ", but this program needs " +
                       std::to_string(kImageIoInterfaceVersion) + "\n");
  EXPECT_EQ(m_work.Entries(), std::vector<std::string>{"in.png"});
}

// With the module in place, the loader opens it (and the image library)
// for a run on an image the program does not read itself, and neither for
// --version or a run from PPM to PNG.
TEST(ImageIoModule, OnlyARunOnAnImageLoadsIt) {
  const TempDir work;
  WriteSmallPng(work / "in.png");
  const Result version = RunProgram(CALVANE_PROGRAM, {"--version"}, {"LD_DEBUG=files"});
  EXPECT_EQ(version.status, 0);
  EXPECT_THAT(version.err, HasSubstr("libcalvhost.so")) << "the loader reports what it opens";
  EXPECT_THAT(version.err, Not(HasSubstr(kModule)));
  EXPECT_THAT(version.err, Not(HasSubstr("libOpenImageIO")));

  const Result run = RunProgram(CALVANE_PROGRAM, {"-q", "--variance", "5", "--iterations", "2", work / "in.png",
                                                  work / "out.png"},
                                {"LD_DEBUG=files"});
  EXPECT_EQ(run.status, 0);
  EXPECT_THAT(run.err, HasSubstr(kModule));
  EXPECT_THAT(run.err, HasSubstr("libOpenImageIO"));

  WriteSmallPpm(work / "in.ppm");
  const Result direct = RunProgram(CALVANE_PROGRAM, {"-q", "--variance", "5", "--iterations", "2", work / "in.ppm",
                                                     work / "direct.png"},
                                   {"LD_DEBUG=files"});
  EXPECT_EQ(direct.status, 0);
  EXPECT_THAT(direct.err, HasSubstr("libcalvane.so")) << "the loader reports what it opens";
  EXPECT_THAT(direct.err, Not(HasSubstr(kModule)));
  EXPECT_THAT(direct.err, Not(HasSubstr("libOpenImageIO")));
}

// Failures thrown in the module arrive as the program's AppError, with
// their status and message.
TEST(ImageIoModule, ItsFailuresKeepTheirStatusAndMessage) {
  const TempDir work;
  const auto expectFailure = [](const std::function<void()>& call, ExitStatus status, const std::string& message) {
    try {
      call();
      ADD_FAILURE() << "no failure";
    } catch (const AppError& error) {
      EXPECT_EQ(error.status(), status);
      EXPECT_EQ(error.what(), message);
    }
  };
  const std::string missing = work / "missing.png";
  expectFailure([&] { ReadImageFile(missing); }, ExitStatus::File, missing + ": cannot read: No such file or directory");
  const std::string unknown = work / "out.qqq";
  expectFailure([&] { RequireWritableFormat(unknown); }, ExitStatus::Usage,
                unknown + ": no image format is known for the extension '.qqq'");
}

// A signal that ends the program while the module writes a file removes the
// half-written temporary: the module hands its name to the program, whose
// handler does the removing.
TEST(ImageIoModule, ATerminationWhileItWritesLeavesNoTemporary) {
  const TempDir work;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(60);
    InstallInterruptHandlers();
    WriteSmallPng(work / "in.png");
    DecodedImage image = ReadImageFile(work / "in.png");
    fs::remove(work / "in.png");
    // Ends the process once the whole file is written, before it is renamed.
    WriteImageFile(work / "out.tif", image, [] { raise(SIGTERM); });
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
  EXPECT_EQ(work.Entries(), std::vector<std::string>{}) << "no temporary or partial file";
}

}  // namespace
}  // namespace calvane::app
