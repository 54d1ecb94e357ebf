// -i: the plug-in's own parameter dialog, shown on the desktop (the window
// system's desktop presentation, opened only when a dialog is shown, so that
// GTK is not loaded for every run) or on the terminal (its terminal
// presentation). Everything about showing it lives here.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/Options.h"

struct Image;
struct calvdesktop_picture;

namespace calvane::app {

class AppContext;
class PluginLibrary;

// A usage error when the dialog cannot be shown where `ui` asks (no desktop
// for --ui desktop; stdin or stdout not a terminal, or TERM unknown, for the
// terminal); checked before any work is done.
void RequireInteractiveDialog(UiChoice ui);

// Runs the configure entry with interaction allowed, so that the plug-in
// shows its dialog on the current parameter set, on the desktop or the
// terminal; returns the entry's result (0 OK, 1 cancelled). The terminal is
// as it was when this returns or throws. Help asked for meanwhile shows on
// the screen's bottom line (and on stderr once the screen is given back).
// On the desktop, `picture` (when not null) is shown in the picture window
// beside the dialog, captioned `title`; the window stays for the run
// (ShownPicture).
int ConfigureInteractively(const PluginLibrary& plugin, AppContext& ctx, UiChoice ui, const Image* picture = nullptr,
                           const std::string& title = "");

// How an image's samples are shown: `low` black, `high` full intensity.
struct PictureRange {
  float low = 0.0f;
  float high = 1.0f;
};

// The least and greatest of the shown channels' samples (the first three,
// or the first for fewer than three); a flat image gets a range of 1 above
// its value, non-finite samples are passed over.
PictureRange PictureRangeOf(const Image* image);

// The image as 8-bit RGBA, rows of 4 * width bytes, opaque: the first three
// channels as red, green and blue, or the first as grey for fewer, mapped
// from `range` to 0..255, rounded and clamped; a non-finite sample is 0.
std::vector<unsigned char> PictureBytes(const Image* image, const PictureRange& range);

// The picture window on the desktop, for the image being denoised: every
// redraw of the run shows the working image with the run's progress in the
// caption; Escape or closing the window stops the run as Ctrl-C does.
class PictureWindow {
 public:
  struct Entries;
  PictureWindow(const Entries& entries, calvdesktop_picture* window, const Image* original, const std::string& title);
  ~PictureWindow();
  PictureWindow(const PictureWindow&) = delete;
  PictureWindow& operator=(const PictureWindow&) = delete;

  // A run on `original` begins: shown as the picture and as the original,
  // with the run's count of `iterations` for the progress.
  void BeginRun(const Image* original, int iterations);
  // A redraw of the run: shows `work`, brings the caption's progress up to
  // date and handles the desktop's events; a stop asked for in the window
  // raises SIGINT (once), which the run takes as Ctrl-C.
  void Redraw(const Image* work);
  // Handles the desktop's events; true when the user asked to stop.
  bool StopAsked();

  // For the dialog's preview: from any thread, the part in view, and `rgba`
  // (4 * width bytes to a row) to be shown over part (x, y, width, height)
  // with the caption `title`; false when the window cannot show parts.
  bool CanShowParts() const;
  void ViewedPart(long long& x, long long& y, long long& width, long long& height) const;
  void PostPart(const std::vector<unsigned char>& rgba, long long x, long long y, long long width, long long height,
                const std::string& title);
  // `callback(data)` on this thread whenever the part in view changes; null
  // stops it.
  void OnViewChange(void (*callback)(void*), void* data);

 private:
  void Show(const Image* image, bool restart);

  const Entries& m_entries;
  calvdesktop_picture* m_window;
  std::string m_title;
  PictureRange m_range;
  int m_iterations = 0;
  int m_redraws = 0;
  bool m_stopRaised = false;
};

// The picture window ConfigureInteractively opened; null when none is shown.
PictureWindow* ShownPicture();

// Why the desktop presentation cannot be used here; empty when it can.
std::string DesktopUnavailableReason();

}  // namespace calvane::app
