#include "app/Progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

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
} g_progress;

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

void StopRun() { g_progress.stop = true; }
bool RunStopped() { return g_progress.stop; }

int ReportProgress(int done, int total) {
  if (g_progress.enabled) {
    const Clock::time_point now = Clock::now();
    if (done >= total || std::chrono::duration<double>(now - g_progress.lastDraw).count() >= kRedrawInterval) {
      const std::string line =
          FormatProgressLine(g_progress.label, done, total, SecondsSince(g_progress.start), TerminalColumns());
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

std::string FormatProgressLine(const std::string& label, int done, int total, double elapsedSeconds, int columns) {
  total = std::max(total, 1);
  done = std::clamp(done, 0, total);
  const std::string elapsed = FormatDuration(elapsedSeconds);
  // Always a time left, so that the bar keeps its width to the end.
  const std::string left = done > 0 ? FormatDuration(elapsedSeconds / done * (total - done)) : std::string("-:--");
  const std::string fraction = " " + std::to_string(done) + "/" + std::to_string(total);
  // The counts always show, in the longest of these forms that fits: the
  // last column stays empty, so that the terminal never wraps the line.
  const std::string forms[] = {fraction + " iterations  " + elapsed + " elapsed, " + left + " left",
                               fraction + " iterations  " + left + " left", fraction + "  " + left + " left",
                               fraction + " " + left, fraction};
  const int width = std::max(0, columns - 1);
  std::string counts = forms[4];
  for (const std::string& form : forms) {
    if (static_cast<int>(form.size()) <= width) {
      counts = form;
      break;
    }
  }
  if (static_cast<int>(counts.size()) > width) counts = counts.substr(0, static_cast<std::size_t>(width));
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
    const int filled = static_cast<int>(static_cast<long long>(barWidth) * done / total);
    line += (line.empty() ? "[" : " [") + std::string(static_cast<std::size_t>(filled), '#') +
            std::string(static_cast<std::size_t>(barWidth - filled), '.') + "]";
  }
  return line + counts;
}

}  // namespace calvane::app
