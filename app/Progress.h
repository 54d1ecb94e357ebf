// The progress bar on stderr, driven by the plug-in's progress reports.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace calvane::app {

// Shows the bar only when wanted (a terminal, not quiet).
void EnableProgressBar(bool enabled);

// A new run of iterations; `label` leads the line (the file being denoised).
void BeginProgress(const std::string& label);

// What UpdateProgress does: draws the bar and answers nonzero when the run
// is to stop (Ctrl-C, or the host's own StopRun).
int ReportProgress(int done, int total);

// While it lives, UpdateProgress on the thread that made it answers
// `answer(done, total)` and draws nothing: a run in the background (the
// dialog's preview) is stopped by its own rule and leaves the bar alone.
// Other threads are not affected.
class ThreadProgress {
 public:
  explicit ThreadProgress(std::function<int(int, int)> answer);
  ~ThreadProgress();
  ThreadProgress(const ThreadProgress&) = delete;
  ThreadProgress& operator=(const ThreadProgress&) = delete;

 private:
  std::function<int(int, int)> m_answer;
  const std::function<int(int, int)>* m_previous;
};

// Asks the run in progress to stop at its next report: the host has seen
// what it needed (a trial run past its best count). BeginProgress clears it.
void StopRun();
bool RunStopped();

// Takes the bar off the terminal line, so that other text starts clean.
void ClearProgressLine();

// Where a batch stands: frame `index` (from 0) of `count`, started
// `elapsedSeconds` ago. In a batch of more than one frame the bar and the
// time left are the whole batch's, the counts the frame's.
struct BatchPosition {
  std::size_t index = 0;
  std::size_t count = 1;
  double elapsedSeconds = 0.0;
};

// The frame about to be worked on; a count of 1 (the default) is no batch.
void SetBatchPosition(std::size_t index, std::size_t count);

// One line of the bar, fitted to `columns`.
std::string FormatProgressLine(const std::string& label, int done, int total, double elapsedSeconds, int columns,
                               const BatchPosition& batch = BatchPosition{});

// "0:07", "12:03", "1:02:03".
std::string FormatDuration(double seconds);

}  // namespace calvane::app
