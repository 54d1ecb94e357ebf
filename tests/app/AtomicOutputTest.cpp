#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TestFiles.h"
#include "app/AtomicOutput.h"
#include "app/ExitStatus.h"

namespace calvane::app {
namespace {

TEST(AtomicOutput, TheFinalNameHoldsTheOldFileUntilCommit) {
  test::TempDir dir;
  test::WriteText(dir / "out.png", "old");
  {
    AtomicOutput output(dir / "out.png");
    test::WriteText(output.TemporaryPath(), "new");
    EXPECT_EQ(test::ReadText(dir / "out.png"), "old");
    EXPECT_EQ(output.TemporaryPath().rfind(dir.path() + "/", 0), 0u) << "in the output's folder";
    output.Commit();
  }
  EXPECT_EQ(test::ReadText(dir / "out.png"), "new");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.png"});
}

TEST(AtomicOutput, AbandonedOutputLeavesNothingBehind) {
  test::TempDir dir;
  test::WriteText(dir / "out.png", "old");
  {
    AtomicOutput output(dir / "out.png");
    test::WriteText(output.TemporaryPath(), "half");
  }
  EXPECT_EQ(test::ReadText(dir / "out.png"), "old");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.png"});
}

TEST(AtomicOutput, NewFilesGetTheUsualPermissions) {
  test::TempDir dir;
  const mode_t mask = umask(022);
  {
    AtomicOutput output(dir / "fresh.png");
    output.Commit();
  }
  umask(mask);
  struct stat info {};
  ASSERT_EQ(stat((dir / "fresh.png").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST(AtomicOutput, AMissingFolderIsAFileError) {
  test::TempDir dir;
  try {
    AtomicOutput output(dir / "missing/out.png");
    FAIL();
  } catch (const AppError& error) {
    EXPECT_EQ(error.status(), ExitStatus::File);
    EXPECT_NE(std::string(error.what()).find("missing/out.png"), std::string::npos);
  }
}

TEST(AtomicOutput, NamesOfOneFileAreRecognised) {
  test::TempDir dir;
  test::WriteText(dir / "a.png", "x");
  ASSERT_EQ(link((dir / "a.png").c_str(), (dir / "hard.png").c_str()), 0);
  ASSERT_EQ(symlink("a.png", (dir / "soft.png").c_str()), 0);
  EXPECT_TRUE(NameSameFile(dir / "a.png", dir / "hard.png"));
  EXPECT_TRUE(NameSameFile(dir / "a.png", dir / "soft.png"));
  EXPECT_TRUE(NameSameFile(dir / "a.png", dir.path() + "/./sub/../a.png"));
  EXPECT_TRUE(NameSameFile(dir / "new.png", dir.path() + "//new.png"));
  EXPECT_FALSE(NameSameFile(dir / "a.png", dir / "b.png"));
}

}  // namespace
}  // namespace calvane::app
