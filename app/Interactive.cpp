#include "app/Interactive.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <memory>
#include <stdexcept>

#include "app/AutoVariance.h"
#include "app/ErrorReporting.h"
#include "app/ExitStatus.h"
#include "app/HostContext.h"
#include "app/LivePreview.h"
#include "app/PluginLibrary.h"
#include "hostlib/HostImage.h"
#include "term/cursesterminal.h"
#include "term/terminal.h"
#include "win/presentation.h"

namespace calvane::app {

// The picture window's entry points in the desktop presentation's library.
struct PictureWindow::Entries {
  calvdesktop_picture* (*open)(const char*, const unsigned char*, int, int, int) = nullptr;
  void (*show)(calvdesktop_picture*, const unsigned char*, int, int, int, int) = nullptr;
  void (*setTitle)(calvdesktop_picture*, const char*) = nullptr;
  int (*poll)(calvdesktop_picture*) = nullptr;
  void (*close)(calvdesktop_picture*) = nullptr;
  // For the preview; a library without them shows no preview.
  void (*postPart)(calvdesktop_picture*, const unsigned char*, int, int, int, int, int, const char*) = nullptr;
  void (*viewedPart)(calvdesktop_picture*, int*, int*, int*, int*) = nullptr;
  void (*onViewChange)(calvdesktop_picture*, void (*)(void*), void*) = nullptr;
};

namespace {

template <typename Function>
void Find(void* handle, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(handle, name));
}

constexpr const char* kDesktopLibrary = "libcalvdesktop.so";

// The desktop presentation's library, beside the plug-in, opened on first
// use and kept for the rest of the run (GTK cannot be unloaded).
class DesktopModule {
 public:
  static DesktopModule& Get() {
    static DesktopModule module;
    return module;
  }

  std::string UnavailableReason() const {
    if (!m_error.empty()) return m_error;
    const char* reason = m_reason();
    return reason != nullptr ? reason : "";
  }

  std::unique_ptr<win::Presentation> Make() const {
    return std::unique_ptr<win::Presentation>(m_error.empty() ? m_make() : nullptr);
  }

  // The picture window, or null when this library has none or it cannot
  // be opened.
  std::unique_ptr<PictureWindow> OpenPicture(const Image* original, const std::string& title) const {
    if (!m_error.empty() || m_picture.open == nullptr || m_picture.show == nullptr || m_picture.setTitle == nullptr ||
        m_picture.poll == nullptr || m_picture.close == nullptr || original == nullptr) {
      return nullptr;
    }
    const std::vector<unsigned char> bytes = PictureBytes(original, PictureRangeOf(original));
    const int width = static_cast<int>(ImageWidth(original));
    calvdesktop_picture* window =
        m_picture.open(title.c_str(), bytes.data(), width, static_cast<int>(ImageHeight(original)), 4 * width);
    if (window == nullptr) return nullptr;
    return std::make_unique<PictureWindow>(m_picture, window, original, title);
  }

 private:
  DesktopModule() {
    const std::string path = PathBesideThePlugin(kDesktopLibrary);
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      m_error = std::string("this calvane has no desktop presentation (") + dlerror() + ")";
      return;
    }
    m_reason = reinterpret_cast<const char* (*)()>(dlsym(handle, "calvdesktop_unavailable_reason"));
    m_make = reinterpret_cast<win::Presentation* (*)()>(dlsym(handle, "calvdesktop_make_presentation"));
    if (m_reason == nullptr || m_make == nullptr) m_error = path + " is not calvane's desktop presentation";
    Find(handle, "calvdesktop_picture_open", m_picture.open);
    Find(handle, "calvdesktop_picture_show", m_picture.show);
    Find(handle, "calvdesktop_picture_set_title", m_picture.setTitle);
    Find(handle, "calvdesktop_picture_poll", m_picture.poll);
    Find(handle, "calvdesktop_picture_close", m_picture.close);
    Find(handle, "calvdesktop_picture_post_part", m_picture.postPart);
    Find(handle, "calvdesktop_picture_viewed_part", m_picture.viewedPart);
    Find(handle, "calvdesktop_picture_on_view_change", m_picture.onViewChange);
  }

  std::string m_error;
  const char* (*m_reason)() = nullptr;
  win::Presentation* (*m_make)() = nullptr;
  PictureWindow::Entries m_picture;
};

// Shown from the dialog to the end of the run. GTK stays loaded to the end
// of the process, so the window may be closed as the program ends.
std::unique_ptr<PictureWindow>& Picture() {
  static std::unique_ptr<PictureWindow> picture;
  return picture;
}

// The shown channels: the first three, or the first alone as grey.
int ShownChannels(const Image* image) { return ImageChannels(image) >= 3 ? 3 : 1; }

// The desktop is used when asked for, or by default when there is one.
bool UseDesktop(UiChoice ui) {
  if (ui == UiChoice::Terminal) return false;
  return ui == UiChoice::Desktop || DesktopUnavailableReason().empty();
}

// The dialog's values previewed on the picture, from the dialog's first
// showing to its end; stopped (its last part shown or dropped) before the
// run can begin.
class DialogPreview {
 public:
  DialogPreview(const PluginLibrary& plugin, const PluginParam& params, const Image* image, PictureWindow& window,
                const std::string& title)
      : m_window(window),
        m_preview(image, PictureRangeOf(image), title, Window(window), PluginPreviewRunner(plugin, params)),
        m_watcher([this](const PreviewValues& values) { m_preview.Ask(values); }) {
    m_window.OnViewChange(&DialogPreview::ViewChanged, this);
  }
  ~DialogPreview() {
    m_window.OnViewChange(nullptr, nullptr);
    m_preview.Stop();
    const std::string failure = m_preview.Failure();
    if (!failure.empty()) PrintNote("the preview stopped: " + failure);
  }
  DialogPreview(const DialogPreview&) = delete;
  DialogPreview& operator=(const DialogPreview&) = delete;

 private:
  static PreviewWindow Window(PictureWindow& window) {
    PreviewWindow preview;
    preview.viewedPart = [&window] {
      PreviewPart part;
      window.ViewedPart(part.x, part.y, part.width, part.height);
      return part;
    };
    preview.show = [&window](const std::vector<unsigned char>& rgba, const PreviewPart& part, const std::string& caption) {
      window.PostPart(rgba, part.x, part.y, part.width, part.height, caption);
    };
    return preview;
  }
  static void ViewChanged(void* data) { static_cast<DialogPreview*>(data)->m_preview.ViewChanged(); }

  PictureWindow& m_window;
  LivePreview m_preview;
  DialogValueWatcher m_watcher;
};

// The plug-in's configure entry with interaction allowed, under `presentation`.
int RunConfigure(const PluginLibrary& plugin, AppContext& ctx, win::Presentation& presentation) {
  win::PresentationScope scope(presentation);
  struct Interaction {
    AppContext& ctx;
    explicit Interaction(AppContext& c) : ctx(c) { ctx.SetInteractive(true); }
    ~Interaction() { ctx.SetInteractive(false); }
  } interaction(ctx);
  return plugin.Call(PluginEntryNumber::Configure, &ctx);
}

}  // namespace

std::string DesktopUnavailableReason() { return DesktopModule::Get().UnavailableReason(); }

void RequireInteractiveDialog(UiChoice ui) {
  if (ui == UiChoice::Desktop) {
    const std::string reason = DesktopUnavailableReason();
    if (!reason.empty()) throw UsageError("--ui desktop: " + reason + "; use --ui terminal, or give the values as options");
    return;
  }
  if (UseDesktop(ui)) return;
  const std::string reason = win::term::TerminalUnavailableReason();
  if (!reason.empty()) {
    throw UsageError("-i/--interactive shows the plug-in's dialog on the terminal, but " + reason +
                     "; give the values as options instead");
  }
}

int ConfigureInteractively(const PluginLibrary& plugin, AppContext& ctx, UiChoice ui, const Image* picture,
                           const std::string& title) {
  if (UseDesktop(ui)) {
    const std::unique_ptr<win::Presentation> desktop = DesktopModule::Get().Make();
    if (!desktop) throw UsageError("--ui desktop: " + DesktopUnavailableReason());
    // Opened first: the dialog, shown after it, has the keyboard.
    if (picture != nullptr) Picture() = DesktopModule::Get().OpenPicture(picture, title);
    std::unique_ptr<DialogPreview> preview;
    if (Picture() && Picture()->CanShowParts() && ctx.GetParams() != nullptr) {
      preview = std::make_unique<DialogPreview>(plugin, *ctx.GetParams(), picture, *Picture(), title);
    }
    const int result = RunConfigure(plugin, ctx, *desktop);
    preview.reset();
    // A stop asked for in the picture window while the dialog was up is
    // not the run's: the dialog has its own Cancel.
    if (Picture()) Picture()->StopAsked();
    return result;
  }
  // The screen is taken over for the dialog only and given back on every
  // way out of this function, before anything else is printed.
  std::unique_ptr<win::term::CursesTerminal> terminal;
  try {
    terminal = std::make_unique<win::term::CursesTerminal>();
  } catch (const std::runtime_error& error) {
    throw UsageError(std::string("-i/--interactive: ") + error.what());
  }
  win::TerminalPresentation presentation(*terminal);
  return RunConfigure(plugin, ctx, presentation);
}

PictureRange PictureRangeOf(const Image* image) {
  float low = INFINITY, high = -INFINITY;
  const std::size_t count = static_cast<std::size_t>(ImageWidth(image) * ImageHeight(image));
  for (int channel = 0; channel < ShownChannels(image); ++channel) {
    const float* plane = ImagePlane(image, channel);
    for (std::size_t i = 0; i < count; ++i) {
      if (!std::isfinite(plane[i])) continue;
      low = std::min(low, plane[i]);
      high = std::max(high, plane[i]);
    }
  }
  if (!(low <= high)) return PictureRange{};
  if (high == low) high = low + 1.0f;
  return PictureRange{low, high};
}

std::vector<unsigned char> PictureBytes(const Image* image, const PictureRange& range) {
  const std::size_t count = static_cast<std::size_t>(ImageWidth(image) * ImageHeight(image));
  std::vector<unsigned char> bytes(4 * count, 255);
  const int shown = ShownChannels(image);
  const double gain = 255.0 / (static_cast<double>(range.high) - range.low);
  for (int channel = 0; channel < 3; ++channel) {
    const float* plane = ImagePlane(image, std::min(channel, shown - 1));
    for (std::size_t i = 0; i < count; ++i) {
      const double value = std::isfinite(plane[i]) ? (plane[i] - static_cast<double>(range.low)) * gain : 0.0;
      bytes[4 * i + channel] = static_cast<unsigned char>(std::lround(std::clamp(value, 0.0, 255.0)));
    }
  }
  return bytes;
}

PictureWindow::PictureWindow(const Entries& entries, calvdesktop_picture* window, const Image* original,
                             const std::string& title)
    : m_entries(entries), m_window(window), m_title(title), m_range(PictureRangeOf(original)) {}

PictureWindow::~PictureWindow() { m_entries.close(m_window); }

void PictureWindow::Show(const Image* image, bool restart) {
  const std::vector<unsigned char> bytes = PictureBytes(image, m_range);
  const int width = static_cast<int>(ImageWidth(image));
  m_entries.show(m_window, bytes.data(), width, static_cast<int>(ImageHeight(image)), 4 * width, restart ? 1 : 0);
}

void PictureWindow::BeginRun(const Image* original, int iterations) {
  // A stop asked for before the run shows as begun is not the run's; one
  // asked for once the caption says so is.
  m_entries.poll(m_window);
  m_range = PictureRangeOf(original);
  m_iterations = iterations;
  m_redraws = 0;
  Show(original, true);
  m_entries.setTitle(m_window, (m_title + " - denoising").c_str());
}

void PictureWindow::Redraw(const Image* work) {
  Show(work, false);
  const int percent = PercentAtRedraw(m_redraws++, m_iterations);
  m_entries.setTitle(m_window, (m_title + " - denoising " + std::to_string(percent) + "%").c_str());
  if (StopAsked() && !m_stopRaised) {
    m_stopRaised = true;
    std::raise(SIGINT);
  }
}

bool PictureWindow::StopAsked() { return m_entries.poll(m_window) != 0; }

bool PictureWindow::CanShowParts() const {
  return m_entries.postPart != nullptr && m_entries.viewedPart != nullptr && m_entries.onViewChange != nullptr;
}

void PictureWindow::ViewedPart(long long& x, long long& y, long long& width, long long& height) const {
  int values[4] = {0, 0, 0, 0};
  m_entries.viewedPart(m_window, &values[0], &values[1], &values[2], &values[3]);
  x = values[0];
  y = values[1];
  width = values[2];
  height = values[3];
}

void PictureWindow::PostPart(const std::vector<unsigned char>& rgba, long long x, long long y, long long width,
                             long long height, const std::string& title) {
  m_entries.postPart(m_window, rgba.data(), static_cast<int>(x), static_cast<int>(y), static_cast<int>(width),
                     static_cast<int>(height), static_cast<int>(4 * width), title.c_str());
}

void PictureWindow::OnViewChange(void (*callback)(void*), void* data) { m_entries.onViewChange(m_window, callback, data); }

PictureWindow* ShownPicture() { return Picture().get(); }

}  // namespace calvane::app
