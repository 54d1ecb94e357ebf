#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/Batch.h"
#include "app/ExitStatus.h"

namespace calvane::app {
namespace {

Environment NoVariables() {
  return [](const char*) -> std::optional<std::string> { return std::nullopt; };
}

std::vector<Frame> Named(const std::vector<std::string>& inputs) {
  std::vector<Frame> frames;
  for (const std::string& input : inputs) frames.push_back(Frame{0, input, "out/" + input});
  return frames;
}

std::vector<std::string> Inputs(const std::vector<Frame>& frames) {
  std::vector<std::string> inputs;
  for (const Frame& frame : frames) inputs.push_back(frame.input);
  return inputs;
}

TEST(Batch, EachInputGoesIntoTheFolderUnderItsOwnName) {
  EXPECT_EQ(OutputInFolder("scans/a.png", "clean", ""), "clean/a.png");
  EXPECT_EQ(OutputInFolder("scans/a.png", "clean/", "tif"), "clean/a.tif");
  EXPECT_EQ(OutputInFolder("a.b.png", "clean", ".exr"), "clean/a.b.exr");
  EXPECT_EQ(OutputInFolder("raw/scan", "clean", "tif"), "clean/scan.tif") << "a name with no extension gains one";
  EXPECT_EQ(OutputInFolder(".hidden", "clean", "tif"), "clean/.hidden.tif") << "a leading dot is no extension";
  EXPECT_EQ(OutputInFolder("in/f_%04d.png", "out", "tif"), "out/f_%04d.tif") << "a pattern stays a pattern";
}

TEST(Batch, TwoInputsWrittenToOneOutputAreRefused) {
  Options options;
  options.outputFolder = "clean";
  options.inputs = {"day1/scan.png", "other.png", "day2/scan.png"};
  try {
    ListFrames(options);
    FAIL() << "two inputs would have been written to clean/scan.png";
  } catch (const AppError& error) {
    EXPECT_EQ(error.status(), ExitStatus::Usage);
    EXPECT_STREQ(error.what(),
                 "day1/scan.png and day2/scan.png would both be written to clean/scan.png; give them different names, "
                 "or run them apart");
  }
  options.inputs = {"day1/scan.png", "other.png"};
  const std::vector<Frame> frames = ListFrames(options);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].output, "clean/scan.png");
  EXPECT_EQ(frames[1].input, "other.png");
}

TEST(Batch, ARunTakesItsShareOfTheFramesInOrder) {
  const std::vector<Frame> frames = Named({"a", "b", "c", "d", "e"});
  Options options;
  EXPECT_EQ(Inputs(TakeShare(frames, options, NoVariables())), Inputs(frames)) << "no --shard: every frame";
  options.shard = ShardRequest{false, 2, 2};
  EXPECT_EQ(Inputs(TakeShare(frames, options, NoVariables())), (std::vector<std::string>{"d", "e"}));
  // The second task of an array 4-6 is the second of three shares.
  options.shard = ShardRequest{true, 1, 1};
  const std::map<std::string, std::string> task = {
      {"SLURM_ARRAY_TASK_ID", "5"}, {"SLURM_ARRAY_TASK_COUNT", "3"}, {"SLURM_ARRAY_TASK_MIN", "4"}};
  const Environment environment = [&task](const char* name) -> std::optional<std::string> {
    const auto found = task.find(name);
    if (found == task.end()) return std::nullopt;
    return found->second;
  };
  EXPECT_EQ(Inputs(TakeShare(frames, options, environment)), (std::vector<std::string>{"c", "d"}));
  try {
    TakeShare(frames, options, NoVariables());
    FAIL() << "auto outside a job array";
  } catch (const AppError& error) {
    EXPECT_EQ(error.status(), ExitStatus::Usage);
    EXPECT_EQ(std::string(error.what()).rfind("--shard auto: SLURM_ARRAY_TASK_ID is not set", 0), 0u) << error.what();
  }
}

TEST(Batch, TheTallySaysWhatBecameOfEveryFrame) {
  BatchTally tally;
  tally.done = 12;
  EXPECT_EQ(DescribeTally(tally), "12 done, 0 skipped, 0 failed");
  tally.done = 3;
  tally.skipped = 2;
  tally.failed = 2;
  tally.notReached = 4;
  tally.firstFailure = "in_04.png: not an image file";
  EXPECT_EQ(DescribeTally(tally), "3 done, 2 skipped, 2 failed, 4 not reached (the first: in_04.png: not an image file)");
}

}  // namespace
}  // namespace calvane::app
