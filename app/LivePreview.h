// The dialog's values shown on the picture before they are confirmed: the
// plug-in's own process entry runs in the background on the part of the
// image in view, with a parameter set of its own holding the values, newest
// values first. A run made stale by newer values, a new view or the end of
// the preview is abandoned at its next progress report.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/Interactive.h"

struct Image;
class PluginParam;

namespace calvane::app {

class PluginLibrary;

// What the dialog holds: its noise level and its count.
struct PreviewValues {
  double noiseLevel = 0.0;
  int iterations = 0;
  bool operator==(const PreviewValues& other) const {
    return noiseLevel == other.noiseLevel && iterations == other.iterations;
  }
};

// A rectangle of image pixels.
struct PreviewPart {
  long long x = 0, y = 0, width = 0, height = 0;
  bool operator==(const PreviewPart& other) const {
    return x == other.x && y == other.y && width == other.width && height == other.height;
  }
  bool Empty() const { return width <= 0 || height <= 0; }
};

// A preview covers at most this many pixels: a view of more (a large image
// fitted to the window) is previewed on its middle.
constexpr long long kPreviewPixels = 1024 * 1024;
// The run covers this many pixels more on each side than the part shown
// (within the image), so that the flow's own border does not show.
constexpr long long kPreviewMargin = 32;

// The part of a `width` by `height` image the preview shows for the part in
// view: the view within the image, reduced about its centre to at most
// kPreviewPixels; empty when the view shows none of the image.
PreviewPart PreviewShownPart(const PreviewPart& viewed, long long width, long long height);
// The part the run covers to show `shown`: kPreviewMargin more on each side,
// cut at the image's border.
PreviewPart PreviewRunPart(const PreviewPart& shown, long long width, long long height);

// What the preview needs of the picture window; both are called from the
// preview's own thread.
struct PreviewWindow {
  std::function<PreviewPart()> viewedPart;
  // RGBA bytes, 4 * part.width to a row, to be shown over `part`, and the
  // window's new caption.
  std::function<void(const std::vector<unsigned char>& rgba, const PreviewPart& part, const std::string& title)> show;
};

// Runs the plug-in on `part` (a copy of the image's part, which it changes)
// with `values`; `stale` is asked at every progress report (true: stop
// there), `atRedraw` called at every redraw. True when the run was done to
// its end, false when it stopped.
using PreviewRunner = std::function<bool(Image* part, const PreviewValues& values, const std::function<bool()>& stale,
                                         const std::function<void(const Image*)>& atRedraw)>;

// The plug-in's process entry through a context of its own, with a copy of
// `params` (taken now) holding the values; its progress reports on the
// preview's thread answer `stale` and draw nothing. Safe to run while the
// plug-in's dialog is open on another thread; not beside another run of the
// plug-in.
PreviewRunner PluginPreviewRunner(const PluginLibrary& plugin, const PluginParam& params);

// The plug-in's dialog as the host reads it: while this lives, every time
// the dialog has taken a value (it moves the value's slider to it: a field
// validated, a slider moved, the dialog's first showing), `taken` gets the
// values its fields then hold, when both are numbers.
class DialogValueWatcher {
 public:
  explicit DialogValueWatcher(std::function<void(const PreviewValues&)> taken);
  ~DialogValueWatcher();
  DialogValueWatcher(const DialogValueWatcher&) = delete;
  DialogValueWatcher& operator=(const DialogValueWatcher&) = delete;

 private:
  std::function<void(const PreviewValues&)> m_taken;
  int m_cookie;
};

// The controls of the plug-in's dialog the watcher reads: the fields of the
// noise level and of the count, and their sliders.
constexpr int kDialogLevelField = 1014;
constexpr int kDialogCountField = 1013;
constexpr int kDialogLevelSlider = 1006;
constexpr int kDialogCountSlider = 1007;

class LivePreview {
 public:
  // `image` must stay unchanged while the preview lives; it is shown
  // through `range`, as the picture window shows it. The caption is `title`
  // followed by what the preview is doing.
  LivePreview(const Image* image, const PictureRange& range, const std::string& title, PreviewWindow window,
              PreviewRunner runner);
  ~LivePreview();
  LivePreview(const LivePreview&) = delete;
  LivePreview& operator=(const LivePreview&) = delete;

  // From any thread: the dialog now holds `values`.
  void Ask(const PreviewValues& values);
  // From any thread: the part in view may have changed.
  void ViewChanged();
  // Abandons the run in progress and waits for the preview's thread; no
  // part is shown after this returns.
  void Stop();

  // Runs done to their end, and runs abandoned for newer requests.
  int Finished() const;
  int Abandoned() const;
  // What the first run that failed said; empty when none failed. A failed
  // run ends the preview.
  std::string Failure() const;

 private:
  struct Request {
    PreviewValues values;
    PreviewPart shown;
  };

  void Work();
  // Waits until asked, the requests have settled, and one differs from the
  // last shown; false when stopping.
  bool NextRequest(Request& request, unsigned long& generation);
  void RunOnce(const Request& request, unsigned long generation);
  std::string Caption(const PreviewValues& values, int percent) const;

  const Image* m_image;
  PictureRange m_range;
  std::string m_title;
  PreviewWindow m_window;
  PreviewRunner m_runner;

  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_stop = false;
  bool m_asked = false;
  PreviewValues m_values;
  unsigned long m_generation = 0;  // counts every Ask and ViewChanged
  bool m_shownAny = false;
  Request m_lastShown;
  int m_finished = 0;
  int m_abandoned = 0;
  std::string m_failure;
  std::thread m_thread;
};

}  // namespace calvane::app
