#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

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

// An OUTPUT that is a link stays a link: the file it leads to is replaced,
// through a temporary file beside that file, whatever folder it is in.
TEST(AtomicOutput, ALinkStaysALinkAndItsFileIsReplaced) {
  test::TempDir dir;
  ASSERT_EQ(mkdir((dir / "results").c_str(), 0755), 0);
  test::WriteText(dir / "results/real.png", "old");
  ASSERT_EQ(symlink("results/real.png", (dir / "link.png").c_str()), 0);
  ASSERT_EQ(symlink("real.png", (dir / "results/hop.png").c_str()), 0);
  ASSERT_EQ(symlink("results/hop.png", (dir / "chain.png").c_str()), 0);
  ASSERT_EQ(symlink("results/new.png", (dir / "dangling.png").c_str()), 0);
  for (const char* name : {"link.png", "chain.png", "dangling.png"}) {
    SCOPED_TRACE(name);
    const std::string target = std::string(name) == "dangling.png" ? dir / "results/new.png" : dir / "results/real.png";
    {
      AtomicOutput output(dir / name);
      EXPECT_EQ(output.TemporaryPath().rfind(dir / "results/.", 0), 0u) << "beside the target";
      output.Write(name, std::string(name).size());
      output.Commit();
    }
    EXPECT_EQ(test::ReadText(target), name);
    struct stat info {};
    ASSERT_EQ(lstat((dir / name).c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
  }
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"chain.png", "dangling.png", "link.png", "results"}));
  std::vector<std::string> results;
  if (DIR* folder = opendir((dir / "results").c_str())) {
    while (const dirent* entry = readdir(folder)) {
      if (entry->d_name[0] != '.' || std::string(entry->d_name).size() > 2) results.push_back(entry->d_name);
    }
    closedir(folder);
  }
  std::sort(results.begin(), results.end());
  EXPECT_EQ(results, (std::vector<std::string>{"hop.png", "new.png", "real.png"})) << "no temporary left";
  char target[64] = {};
  ASSERT_GT(readlink((dir / "chain.png").c_str(), target, sizeof target - 1), 0);
  EXPECT_STREQ(target, "results/hop.png") << "the link still leads where it did";
  for (const std::string& name : results) unlink((dir / "results/" + name).c_str());
  rmdir((dir / "results").c_str());
}

}  // namespace
}  // namespace calvane::app
