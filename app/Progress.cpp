#include "app/Progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <utility>

#include "app/Interrupt.h"

namespace calvane::app {
namespace {

using Clock = std::chrono::steady_clock;

// Redrawing on every iteration of a small image would spend more time on
// the terminal than on the image.
constexpr double kRedrawInterval = 0.1;

struct ProgressState {
  bool enabled = false;
  bool lineShown = false;
  bool stop = false;
  std::string label;
  Clock::time_point start;
  Clock::time_point lastDraw;
  BatchPosition batch;
  Clock::time_point batchStart;
} g_progress;

// The answer of this thread's ThreadProgress, when it has one.
thread_local const std::function<int(int, int)>* t_threadAnswer = nullptr;

int TerminalColumns() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

}  // namespace

void EnableProgressBar(bool enabled) { g_progress.enabled = enabled; }

void BeginProgress(const std::string& label) {
  ClearProgressLine();
  g_progress.label = label;
  g_progress.start = Clock::now();
  g_progress.lastDraw = Clock::time_point{};
  g_progress.stop = false;
}

void SetBatchPosition(std::size_t index, std::size_t count) {
  if (index == 0 || g_progress.batch.count != count) g_progress.batchStart = Clock::now();
  g_progress.batch.index = index;
  g_progress.batch.count = std::max<std::size_t>(count, 1);
}

void StopRun() { g_progress.stop = true; }
bool RunStopped() { return g_progress.stop; }

ThreadProgress::ThreadProgress(std::function<int(int, int)> answer)
    : m_answer(std::move(answer)), m_previous(t_threadAnswer) {
  t_threadAnswer = &m_answer;
}

ThreadProgress::~ThreadProgress() { t_threadAnswer = m_previous; }

int ReportProgress(int done, int total) {
  if (t_threadAnswer != nullptr) return (*t_threadAnswer)(done, total);
  if (g_progress.enabled) {
    const Clock::time_point now = Clock::now();
    if (done >= total || std::chrono::duration<double>(now - g_progress.lastDraw).count() >= kRedrawInterval) {
      BatchPosition batch = g_progress.batch;
      batch.elapsedSeconds = SecondsSince(g_progress.batchStart);
      const std::string line =
          FormatProgressLine(g_progress.label, done, total, SecondsSince(g_progress.start), TerminalColumns(), batch);
      std::fprintf(stderr, "\r%s\x1b[K", line.c_str());
      std::fflush(stderr);
      g_progress.lineShown = true;
      g_progress.lastDraw = now;
    }
  }
  return InterruptRequested() || g_progress.stop ? 1 : 0;
}

void ClearProgressLine() {
  if (!g_progress.lineShown) return;
  std::fprintf(stderr, "\r\x1b[K");
  std::fflush(stderr);
  g_progress.lineShown = false;
}

std::string FormatDuration(double seconds) {
  const long total = std::lround(std::max(0.0, seconds));
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  }
  return text;
}

namespace {

// The counts, in the longest of their forms that fits `width`: the frame's
// iterations, then the elapsed time and the time left (the batch's in a
// batch).
std::string FitCounts(int done, int total, const std::string& elapsed, const std::string& left, bool batch, int width) {
  const std::string fraction = " " + std::to_string(done) + "/" + std::to_string(total);
  const std::string whose = batch ? " iterations  batch " : " iterations  ";
  const std::string forms[] = {fraction + whose + elapsed + " elapsed, " + left + " left",
                               fraction + whose + left + " left", fraction + "  " + left + " left",
                               fraction + " " + left, fraction};
  for (const std::string& form : forms) {
    if (static_cast<int>(form.size()) <= width) return form;
  }
  return forms[4].substr(0, static_cast<std::size_t>(std::max(width, 0)));
}

}  // namespace

std::string FormatProgressLine(const std::string& label, int done, int total, double elapsedSeconds, int columns,
                               const BatchPosition& batch) {
  total = std::max(total, 1);
  done = std::clamp(done, 0, total);
  // In a batch, the part of the whole batch done, and the batch's times.
  const bool inBatch = batch.count > 1;
  const double part = inBatch ? (static_cast<double>(batch.index) + static_cast<double>(done) / total) / batch.count
                              : static_cast<double>(done) / total;
  const double seconds = inBatch ? batch.elapsedSeconds : elapsedSeconds;
  const std::string elapsed = FormatDuration(seconds);
  // Always a time left, so that the bar keeps its width to the end.
  const std::string left = part > 0 ? FormatDuration(seconds / part * (1.0 - part)) : std::string("-:--");
  // The last column stays empty, so that the terminal never wraps the line.
  const int width = std::max(0, columns - 1);
  const std::string counts = FitCounts(done, total, elapsed, left, inBatch, width);
  // The label (its end, the file name) comes next; the bar takes what room
  // is left, if that is enough to read.
  const int room = std::max(0, width - static_cast<int>(counts.size()));
  std::string shownLabel = label;
  if (static_cast<int>(shownLabel.size()) > room) {
    shownLabel = room > 3 ? "..." + shownLabel.substr(shownLabel.size() - static_cast<std::size_t>(room - 3)) : "";
  }
  int barWidth = std::min(40, room - static_cast<int>(shownLabel.size()) - 3);
  if (barWidth < 10) barWidth = 0;
  std::string line = shownLabel;
  if (barWidth > 0) {
    // In whole numbers: the frames before this one, then this one's iterations.
    const long long whole = static_cast<long long>(inBatch ? batch.count : 1) * total;
    const long long reached = static_cast<long long>(inBatch ? batch.index : 0) * total + done;
    const int filled = static_cast<int>(std::clamp(barWidth * reached / whole, 0LL, static_cast<long long>(barWidth)));
    line += (line.empty() ? "[" : " [") + std::string(static_cast<std::size_t>(filled), '#') +
            std::string(static_cast<std::size_t>(barWidth - filled), '.') + "]";
  }
  return line + counts;
}

}  // namespace calvane::app
