#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

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

// A line as long as the terminal is wide wraps, and every redraw then
// starts a new line: each line leaves the last column empty, at any width
// down to 20, with the counts always in it.
TEST(Progress, LinesNeverReachTheLastColumn) {
  const std::string labels[] = {"", "photo.png", "frame 12/250 a/very/long/folder/name/that/goes/on/frame_0001.png"};
  const std::pair<int, int> counts[] = {{0, 1000}, {5, 10}, {999, 1000}, {1000, 1000}};
  for (int columns : {20, 40, 80}) {
    for (const std::string& label : labels) {
      for (const auto& [done, total] : counts) {
        for (double elapsed : {0.0, 3723.0, 100000.0}) {
          const std::string line = FormatProgressLine(label, done, total, elapsed, columns);
          EXPECT_LT(line.size(), static_cast<std::size_t>(columns)) << columns << ": " << line;
          EXPECT_NE(line.find(" " + std::to_string(done) + "/" + std::to_string(total)), std::string::npos) << line;
        }
      }
    }
  }
  // Narrower, the words go before the times, and the bar before the label.
  EXPECT_EQ(FormatProgressLine("photo.png", 30, 120, 6.0, 20), " 30/120  0:18 left");
  EXPECT_EQ(FormatProgressLine("photo.png", 30, 120, 6.0, 40), "photo.png 30/120 iterations  0:18 left");
}

// In a batch the bar and the time left are the whole batch's: frame 3 of 4
// half done is five eighths of the batch, and 10 s for that leaves 6 s.
TEST(Progress, InABatchTheBarAndTimeLeftAreTheWholeBatchs) {
  const BatchPosition batch{2, 4, 10.0};
  const std::string line = FormatProgressLine("frame 3/4 a.png", 15, 30, 2.0, 100, batch);
  // 33 columns of bar are left beside the label and counts: 20 of them are 5/8.
  EXPECT_EQ(line, "frame 3/4 a.png [####################.............] 15/30 iterations  batch 0:10 elapsed, "
                  "0:06 left");
  // The first frame's start: nothing done yet, no time to tell.
  EXPECT_NE(FormatProgressLine("frame 1/4 a.png", 0, 30, 0.0, 100, BatchPosition{0, 4, 0.0}).find("-:-- left"),
            std::string::npos);
  // One frame is no batch: the frame's own bar and times.
  EXPECT_EQ(FormatProgressLine("a.png", 15, 30, 2.0, 100, BatchPosition{0, 1, 50.0}),
            FormatProgressLine("a.png", 15, 30, 2.0, 100));
}

}  // namespace
}  // namespace calvane::app

namespace calvane::app {
namespace {

TEST(ThreadProgressTest, OnlyTheThreadThatMadeItAnswersByItsRuleAndDrawsNothing) {
  BeginProgress("this thread's run");
  std::vector<std::pair<int, int>> seen;
  std::mutex mutex;
  std::condition_variable changed;
  int step = 0;  // 1: the background's rule is in place; 2: this thread has looked
  std::thread background([&] {
    const ThreadProgress progress([&](int done, int total) {
      seen.emplace_back(done, total);
      return done >= 3 ? 1 : 0;
    });
    EXPECT_EQ(ReportProgress(2, 10), 0);
    std::unique_lock<std::mutex> lock(mutex);
    step = 1;
    changed.notify_all();
    changed.wait(lock, [&] { return step == 2; });
    EXPECT_EQ(ReportProgress(3, 10), 1);
  });
  {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return step == 1; });
    // While the background's rule is in place, this thread keeps the
    // program's own answer: go on, then stop when asked.
    EXPECT_EQ(ReportProgress(3, 10), 0);
    StopRun();
    EXPECT_EQ(ReportProgress(3, 10), 1);
    step = 2;
    changed.notify_all();
  }
  background.join();
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{2, 10}, {3, 10}}));
  BeginProgress("next");
  {
    const ThreadProgress progress([](int, int) { return 1; });
    EXPECT_EQ(ReportProgress(1, 10), 1);
  }
  EXPECT_EQ(ReportProgress(1, 10), 0) << "the rule outlived its scope";
}

}  // namespace
}  // namespace calvane::app
