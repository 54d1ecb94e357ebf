#include <gtest/gtest.h>

#include "app/Progress.h"

namespace calvane::app {
namespace {

TEST(Progress, LineShowsCountsElapsedAndTimeLeft) {
  const std::string line = FormatProgressLine("photo.png", 30, 120, 6.0, 100);
  EXPECT_NE(line.find("photo.png ["), std::string::npos) << line;
  EXPECT_NE(line.find("30/120 iterations"), std::string::npos) << line;
  EXPECT_NE(line.find("0:06 elapsed, 0:18 left"), std::string::npos) << line;
  EXPECT_LT(line.size(), 100u);
}

TEST(Progress, BarFillsInProportion) {
  const std::string line = FormatProgressLine("x", 1, 2, 1.0, 100);
  const std::size_t open = line.find('[');
  const std::size_t close = line.find(']');
  ASSERT_NE(close, std::string::npos);
  const std::string bar = line.substr(open + 1, close - open - 1);
  EXPECT_EQ(std::count(bar.begin(), bar.end(), '#'), static_cast<long>(bar.size() / 2));
  EXPECT_EQ(FormatProgressLine("x", 2, 2, 1.0, 100).size(), line.size()) << "the bar keeps its width";
  EXPECT_NE(FormatProgressLine("x", 2, 2, 1.0, 100).find("0:00 left"), std::string::npos);
}

TEST(Progress, NarrowTerminalsKeepTheCountsAndTheLabelsEnd) {
  const std::string label = "a/very/long/folder/name/that/goes/on/frame_0001.png";
  const std::string line = FormatProgressLine(label, 5, 10, 2.0, 60);
  EXPECT_LE(line.size(), 59u) << line;
  EXPECT_NE(line.find("5/10 iterations"), std::string::npos) << line;
  EXPECT_NE(line.find("0001.png"), std::string::npos) << line;
  EXPECT_NE(FormatProgressLine(label, 5, 10, 2.0, 20).find("5/10"), std::string::npos);
}

TEST(Progress, Durations) {
  EXPECT_EQ(FormatDuration(0.4), "0:00");
  EXPECT_EQ(FormatDuration(75), "1:15");
  EXPECT_EQ(FormatDuration(3723), "1:02:03");
}

}  // namespace
}  // namespace calvane::app
