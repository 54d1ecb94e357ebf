#include <gtest/gtest.h>

#include "TestFiles.h"
#include "app/ExitStatus.h"
#include "app/FrameSequence.h"

namespace calvane::app {
namespace {

TEST(FrameSequence, RecognisesPrintfAndHashPatterns) {
  const auto printf = ParseFramePattern("dir/sub/in_%04d.png");
  ASSERT_TRUE(printf);
  EXPECT_EQ(printf->directory, "dir/sub/");
  EXPECT_EQ(printf->prefix, "in_");
  EXPECT_EQ(printf->suffix, ".png");
  EXPECT_EQ(printf->Format(7), "dir/sub/in_0007.png");
  EXPECT_EQ(printf->Format(12345), "dir/sub/in_12345.png");

  const auto hashes = ParseFramePattern("shot.###.exr");
  ASSERT_TRUE(hashes);
  EXPECT_EQ(hashes->Format(42), "shot.042.exr");
  EXPECT_EQ(ParseFramePattern("f%d.tif")->Format(42), "f42.tif");

  EXPECT_FALSE(ParseFramePattern("plain.png"));
  EXPECT_FALSE(ParseFramePattern("100%.png"));
  EXPECT_FALSE(ParseFramePattern("dir%04d/plain.png")) << "only the file name holds a pattern";
  EXPECT_THROW(ParseFramePattern("a%04d_####.png"), AppError);
}

TEST(FrameSequence, MatchesOnlyTheSpellingThePatternWrites) {
  const FramePattern pattern = *ParseFramePattern("in_%04d.png");
  EXPECT_EQ(pattern.Match("in_0007.png"), 7);
  EXPECT_EQ(pattern.Match("in_12345.png"), 12345);
  EXPECT_FALSE(pattern.Match("in_07.png"));
  EXPECT_FALSE(pattern.Match("in_00007.png"));
  EXPECT_FALSE(pattern.Match("in_00a7.png"));
  EXPECT_FALSE(pattern.Match("in_0007.png.bak"));
}

TEST(FrameSequence, ExpandsExistingFramesInOrder) {
  test::TempDir dir;
  for (const char* name : {"in_0010.png", "in_0002.png", "in_0003.png", "in_3.png", "other_0001.png"}) {
    test::WriteText(dir / name, "x");
  }
  const std::vector<Frame> frames = ExpandFrames(dir / "in_%04d.png", dir / "out_####.tif");
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].number, 2);
  EXPECT_EQ(frames[0].input, dir / "in_0002.png");
  EXPECT_EQ(frames[0].output, dir / "out_0002.tif");
  EXPECT_EQ(frames[2].number, 10);
  EXPECT_EQ(frames[2].output, dir / "out_0010.tif");
}

TEST(FrameSequence, PatternsGoTogether) {
  test::TempDir dir;
  test::WriteText(dir / "take#2.png", "x");
  // A file that exists under its literal name is that file.
  const std::vector<Frame> literal = ExpandFrames(dir / "take#2.png", dir / "out.png");
  ASSERT_EQ(literal.size(), 1u);
  EXPECT_EQ(literal[0].input, dir / "take#2.png");

  EXPECT_EQ(ExpandFrames(dir / "take#2.png", dir / "take#2-clean.png").at(0).output, dir / "take#2-clean.png")
      << "an OUTPUT named after such a file is one file too";
  // A plain INPUT never fills a pattern: it would be written under the
  // pattern's literal name.
  test::WriteText(dir / "in.png", "x");
  try {
    ExpandFrames(dir / "in.png", dir / "o_%04d.png");
    FAIL();
  } catch (const AppError& error) {
    EXPECT_EQ(error.status(), ExitStatus::Usage);
    EXPECT_EQ(std::string(error.what()), dir / "o_%04d.png" + ": OUTPUT is a frame pattern but INPUT (" + dir / "in.png" +
                                             ") names one file; give OUTPUT a plain name, or INPUT a pattern too");
  }
  try {
    ExpandFrames(dir / "in_%04d.png", dir / "out.png");
    FAIL();
  } catch (const AppError& error) {
    EXPECT_EQ(error.status(), ExitStatus::Usage);
  }
  try {
    ExpandFrames(dir / "in_%04d.png", dir / "out_%04d.png");
    FAIL();
  } catch (const AppError& error) {
    EXPECT_EQ(error.status(), ExitStatus::File) << "no frame exists";
  }
}

}  // namespace
}  // namespace calvane::app
