// Batches through the built program: many inputs into a folder, a bad file
// in the middle, a batch run again after it was stopped, and shares.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ProgramFixture.h"
#include "TestFiles.h"

namespace calvane::app::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr int kWidth = 48;
constexpr int kHeight = 32;

class Batch : public Program {
 protected:
  // Frame `number` of a batch: the cartoon with its own noise.
  void WriteFrame(const std::string& path, int number) {
    WriteImage(path, kWidth, kHeight, 1, OIIO::TypeUInt8, NoisyCartoon(0.06f, static_cast<unsigned>(500 + number)));
  }

  // The output is `input` denoised: far closer to the clean cartoon.
  void ExpectDenoised(const std::string& output, const std::string& input) {
    ASSERT_EQ(access(output.c_str(), F_OK), 0) << output << " was not written";
    EXPECT_LT(RmsFromPicture(ReadImage(output), Cartoon, 0), 0.5 * RmsFromPicture(ReadImage(input), Cartoon, 0)) << output;
  }

  // The frames that this run reported writing, by input name.
  static std::set<std::string> Written(const Result& r) {
    std::set<std::string> written;
    std::size_t at = 0;
    while ((at = r.err.find(" -> ", at)) != std::string::npos) {
      const std::size_t start = r.err.rfind(' ', at - 1) + 1;
      written.insert(r.err.substr(start, at - start));
      at += 4;
    }
    return written;
  }

  const std::vector<std::string> m_fixed = {"--variance", "14", "--iterations", "30"};
};

std::vector<std::string> ListFolder(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* folder = opendir(path.c_str())) {
    while (const dirent* entry = readdir(folder)) {
      if (entry->d_name[0] != '.') names.push_back(entry->d_name);
    }
    closedir(folder);
  }
  std::sort(names.begin(), names.end());
  return names;
}

struct stat Stat(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  return info;
}

TEST_F(Batch, ManyInputsGoIntoAFolderInOneRunWithTheSettingsChosenOnce) {
  mkdir((m_dir / "more").c_str(), 0755);
  mkdir((m_dir / "clean").c_str(), 0755);
  WriteFrame(m_dir / "a.png", 1);
  WriteFrame(m_dir / "b.png", 2);
  WriteFrame(m_dir / "more/c.png", 3);
  const Result r = Run({m_dir / "a.png", m_dir / "b.png", m_dir / "more/c.png", "-o", m_dir / "clean", "--format", "tif"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.err, HasSubstr("frame 3/3 "));
  // The level is chosen by trials on the first frame only; later frames
  // keep its factor and follow their own noise.
  EXPECT_EQ(r.err.find("chosen by trial runs"), r.err.rfind("chosen by trial runs")) << r.err;
  EXPECT_THAT(r.err, HasSubstr("calvane: c.png: estimated noise level"));
  EXPECT_THAT(r.err, HasSubstr("calvane: batch: 3 done, 0 skipped, 0 failed\n"));
  EXPECT_EQ(ListFolder(m_dir / "clean"), (std::vector<std::string>{"a.tif", "b.tif", "c.tif"}));
  ExpectDenoised(m_dir / "clean/a.tif", m_dir / "a.png");
  ExpectDenoised(m_dir / "clean/c.tif", m_dir / "more/c.png");
  EXPECT_EQ(ReadImage(m_dir / "clean/b.tif").spec.format, OIIO::TypeUInt8) << "the depth stays";
}

// A file that is no image, in the middle: without --keep-going the batch
// stops there; with it, the frames after it are done. Either way the batch
// fails with the file's status and says what became of every frame.
TEST_F(Batch, ABadFileInTheMiddleStopsTheBatchUnlessItIsToKeepGoing) {
  WriteFrame(m_dir / "in_1.png", 1);
  WriteText(m_dir / "in_2.png", "not a picture at all");
  WriteFrame(m_dir / "in_3.png", 3);
  std::vector<std::string> args = m_fixed;
  args.insert(args.end(), {m_dir / "in_%d.png", m_dir / "out_%d.png"});

  const Result stopped = Run(args);
  EXPECT_EQ(stopped.status, 3) << stopped.err;
  EXPECT_THAT(stopped.err, HasSubstr("calvane: batch: 1 done, 0 skipped, 1 failed, 1 not reached (the first: " +
                                     m_dir / "in_2.png: "));
  ExpectDenoised(m_dir / "out_1.png", m_dir / "in_1.png");
  EXPECT_NE(access((m_dir / "out_3.png").c_str(), F_OK), 0) << "not reached";
  EXPECT_NE(access((m_dir / "out_2.png").c_str(), F_OK), 0);

  args.insert(args.begin(), "--keep-going");
  const Result kept = Run(args);
  EXPECT_EQ(kept.status, 3) << kept.err;
  EXPECT_THAT(kept.err, HasSubstr("calvane: batch: 2 done, 0 skipped, 1 failed (the first: " + m_dir / "in_2.png: "));
  ExpectDenoised(m_dir / "out_3.png", m_dir / "in_3.png");
  EXPECT_NE(access((m_dir / "out_2.png").c_str(), F_OK), 0);
}

// The first frame, where the settings are chosen, may be the bad one.
TEST_F(Batch, WithKeepGoingTheSettingsAreChosenOnTheFirstGoodFrame) {
  WriteText(m_dir / "in_1.png", "");
  WriteFrame(m_dir / "in_2.png", 2);
  const Result r = Run({"--keep-going", m_dir / "in_%d.png", m_dir / "out_%d.png"});
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_THAT(r.err, HasSubstr("calvane: in_2.png: estimated noise level"));
  EXPECT_THAT(r.err, HasSubstr("chosen by trial runs"));
  EXPECT_THAT(r.err, HasSubstr("calvane: batch: 1 done, 0 skipped, 1 failed (the first: " + m_dir / "in_1.png"));
  ExpectDenoised(m_dir / "out_2.png", m_dir / "in_2.png");
}

// A batch stopped part-way leaves whole outputs or none; run again with
// --skip-existing it does only what is missing, and leaves the rest as it was.
TEST_F(Batch, RunAgainWithSkipExistingItDoesOnlyWhatIsMissing) {
  for (int frame = 1; frame <= 3; ++frame) WriteFrame(m_dir / ("in_" + std::to_string(frame) + ".png"), frame);
  std::vector<std::string> args = m_fixed;
  args.insert(args.end(), {"--skip-existing", m_dir / "in_%d.png", m_dir / "out_%d.png"});
  ASSERT_EQ(Run(args).status, 0);
  const struct stat first = Stat(m_dir / "out_1.png");
  const struct stat third = Stat(m_dir / "out_3.png");
  ASSERT_EQ(unlink((m_dir / "out_2.png").c_str()), 0);

  const Result again = Run(args);
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_THAT(again.err, HasSubstr("calvane: " + m_dir / "out_1.png exists, skipped\n"));
  EXPECT_THAT(again.err, HasSubstr("calvane: batch: 1 done, 2 skipped, 0 failed\n"));
  EXPECT_EQ(Written(again), (std::set<std::string>{m_dir / "in_2.png"}));
  ExpectDenoised(m_dir / "out_2.png", m_dir / "in_2.png");
  EXPECT_EQ(Stat(m_dir / "out_1.png").st_ino, first.st_ino) << "left as it was";
  EXPECT_EQ(Stat(m_dir / "out_3.png").st_mtim.tv_nsec, third.st_mtim.tv_nsec);
  EXPECT_EQ(Stat(m_dir / "out_3.png").st_ino, third.st_ino);

  // All there: nothing to do, and no plug-in work at all.
  const Result nothing = Run(args);
  EXPECT_EQ(nothing.status, 0) << nothing.err;
  EXPECT_THAT(nothing.err, HasSubstr("calvane: batch: 0 done, 3 skipped, 0 failed\n"));
  EXPECT_TRUE(Written(nothing).empty());
}

// The shares of N runs cover every frame exactly once, in number order.
TEST_F(Batch, SharesCoverEveryFrameOnce) {
  constexpr int kFrames = 7;
  for (int frame = 1; frame <= kFrames; ++frame) WriteFrame(m_dir / ("in_" + std::to_string(frame) + ".png"), frame);
  for (const int n : {2, 3}) {
    SCOPED_TRACE(n);
    std::map<std::string, int> timesWritten;
    for (int k = 1; k <= n; ++k) {
      std::vector<std::string> args = m_fixed;
      args.insert(args.end(), {"--shard", std::to_string(k) + "/" + std::to_string(n), m_dir / "in_%d.png",
                               m_dir / ("out" + std::to_string(n) + "_%d.png")});
      const Result r = Run(args);
      ASSERT_EQ(r.status, 0) << r.err;
      for (const std::string& input : Written(r)) ++timesWritten[input];
    }
    ASSERT_EQ(timesWritten.size(), static_cast<std::size_t>(kFrames));
    for (const auto& [input, times] : timesWritten) EXPECT_EQ(times, 1) << input;
  }
  // The first of three shares of seven frames is frames 1 to 3.
  std::vector<std::string> args = m_fixed;
  args.insert(args.end(), {"--shard", "1/3", m_dir / "in_%d.png", m_dir / "first_%d.png"});
  EXPECT_EQ(Written(Run(args)),
            (std::set<std::string>{m_dir / "in_1.png", m_dir / "in_2.png", m_dir / "in_3.png"}));
}

// --shard auto reads the job array's task; outside an array it is a usage
// error, before anything is read.
TEST_F(Batch, AutoShardTakesTheTasksShareAndOutsideAnArrayIsAnError) {
  for (int frame = 1; frame <= 4; ++frame) WriteFrame(m_dir / ("in_" + std::to_string(frame) + ".png"), frame);
  std::vector<std::string> args = m_fixed;
  args.insert(args.end(), {"--shard", "auto", m_dir / "in_%d.png", m_dir / "out_%d.png"});
  unsetenv("SLURM_ARRAY_TASK_ID");
  const Result outside = Run(args);
  ExpectOneErrorLine(outside, 2, "--shard auto: SLURM_ARRAY_TASK_ID is not set");

  setenv("SLURM_ARRAY_TASK_ID", "11", 1);
  setenv("SLURM_ARRAY_TASK_COUNT", "2", 1);
  setenv("SLURM_ARRAY_TASK_MIN", "10", 1);
  const Result task = Run(args);
  unsetenv("SLURM_ARRAY_TASK_ID");
  unsetenv("SLURM_ARRAY_TASK_COUNT");
  unsetenv("SLURM_ARRAY_TASK_MIN");
  ASSERT_EQ(task.status, 0) << task.err;
  EXPECT_EQ(Written(task), (std::set<std::string>{m_dir / "in_3.png", m_dir / "in_4.png"}));
}

}  // namespace
}  // namespace calvane::app::test
