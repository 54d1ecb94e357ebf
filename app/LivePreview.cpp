#include "app/LivePreview.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <exception>

#include "app/AutoVariance.h"
#include "app/HostContext.h"
#include "app/Interrupt.h"
#include "app/ParameterSet.h"
#include "app/PluginLibrary.h"
#include "app/Progress.h"
#include "host/PluginParam.h"
#include "hostlib/HostImage.h"
#include "win/commctrl.h"
#include "win/spy.h"
#include "win/windows.h"

namespace calvane::app {
namespace {

using Clock = std::chrono::steady_clock;

// A request waits this long for a newer one (a slider being dragged, a view
// being panned) before its run starts.
constexpr std::chrono::milliseconds kSettle(80);
// Redraws of a run in progress are shown at most this often.
constexpr double kShownRedrawInterval = 0.25;

// The bytes of `part` of `image` (whose pixel (0, 0) is image pixel
// (origin.x, origin.y)) as the picture window shows them.
std::vector<unsigned char> PartBytes(const Image* image, const PreviewPart& origin, const PreviewPart& part,
                                     const PictureRange& range) {
  const std::vector<unsigned char> all = PictureBytes(image, range);
  const long long width = ImageWidth(image);
  std::vector<unsigned char> bytes(static_cast<std::size_t>(4 * part.width * part.height));
  for (long long y = 0; y < part.height; ++y) {
    const auto from = all.begin() + 4 * ((part.y - origin.y + y) * width + (part.x - origin.x));
    std::copy_n(from, 4 * part.width, bytes.begin() + 4 * y * part.width);
  }
  return bytes;
}

// A field's text as a number: all of it, spaces around allowed.
bool ParseField(HWND dialog, int id, double& value) {
  HWND field = GetDlgItem(dialog, id);
  if (field == nullptr) return false;
  char text[64] = {};
  GetWindowTextA(field, text, static_cast<int>(sizeof text));
  char* end = nullptr;
  value = std::strtod(text, &end);
  if (end == text) return false;
  while (*end == ' ') ++end;
  return *end == '\0' && std::isfinite(value);
}

}  // namespace

PreviewRunner PluginPreviewRunner(const PluginLibrary& plugin, const PluginParam& params) {
  const std::shared_ptr<const PluginParam> base(CopyParameters(params));
  return [&plugin, base](Image* part, const PreviewValues& values, const std::function<bool()>& stale,
                         const std::function<void(const Image*)>& atRedraw) {
    AppContext ctx;
    ctx.SetParams(CopyParameters(*base).release());
    PluginParam& own = *ctx.GetParams();
    // The dialog has checked the values against its limits, as it does for OK.
    const int level = own.Find(kNoiseVarianceParameter), count = own.Find(kIterationsParameter);
    if (level >= 0) own.m_pEntries[level].value.f = static_cast<float>(values.noiseLevel);
    if (count >= 0) own.m_pEntries[count].value.i = values.iterations;
    ctx.SetWorkingImage(part);
    ctx.SetRedrawHandler([&atRedraw](Image* work) { atRedraw(work); });
    const ThreadProgress progress([&stale](int, int) { return stale() || InterruptRequested() ? 1 : 0; });
    return plugin.Call(PluginEntryNumber::Process, &ctx) == 0;
  };
}

DialogValueWatcher::DialogValueWatcher(std::function<void(const PreviewValues&)> taken)
    : m_taken(std::move(taken)), m_cookie(win::AddMessageObserver([this](const win::MessageRecord& record) {
        if (record.delivery != win::Delivery::Sent || record.message != TBM_SETPOS) return;
        const int id = GetDlgCtrlID(record.hwnd);
        if (id != kDialogLevelSlider && id != kDialogCountSlider) return;
        // The dialog writes a value's field before it moves the slider.
        HWND dialog = GetParent(record.hwnd);
        double level = 0.0, count = 0.0;
        if (!ParseField(dialog, kDialogLevelField, level) || !ParseField(dialog, kDialogCountField, count)) return;
        if (count != std::floor(count) || std::fabs(count) > 1e9) return;
        m_taken(PreviewValues{level, static_cast<int>(count)});
      })) {}

DialogValueWatcher::~DialogValueWatcher() { win::RemoveMessageObserver(m_cookie); }

PreviewPart PreviewShownPart(const PreviewPart& viewed, long long width, long long height) {
  const long long left = std::clamp(viewed.x, 0LL, width), top = std::clamp(viewed.y, 0LL, height);
  const long long right = std::clamp(viewed.x + viewed.width, 0LL, width);
  const long long bottom = std::clamp(viewed.y + viewed.height, 0LL, height);
  PreviewPart part{left, top, right - left, bottom - top};
  if (part.Empty()) return PreviewPart{};
  if (part.width * part.height <= kPreviewPixels) return part;
  // The same shape, reduced about the same centre.
  const double reduction = std::sqrt(static_cast<double>(kPreviewPixels) / (static_cast<double>(part.width) * part.height));
  const long long w = std::max(1LL, static_cast<long long>(part.width * reduction));
  const long long h = std::max(1LL, std::min(static_cast<long long>(part.height * reduction), kPreviewPixels / w));
  return PreviewPart{part.x + (part.width - w) / 2, part.y + (part.height - h) / 2, w, h};
}

PreviewPart PreviewRunPart(const PreviewPart& shown, long long width, long long height) {
  const long long left = std::max(0LL, shown.x - kPreviewMargin), top = std::max(0LL, shown.y - kPreviewMargin);
  const long long right = std::min(width, shown.x + shown.width + kPreviewMargin);
  const long long bottom = std::min(height, shown.y + shown.height + kPreviewMargin);
  return PreviewPart{left, top, right - left, bottom - top};
}

LivePreview::LivePreview(const Image* image, const PictureRange& range, const std::string& title, PreviewWindow window,
                         PreviewRunner runner)
    : m_image(image), m_range(range), m_title(title), m_window(std::move(window)), m_runner(std::move(runner)) {
  m_thread = std::thread([this] { Work(); });
}

LivePreview::~LivePreview() { Stop(); }

void LivePreview::Ask(const PreviewValues& values) {
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_values = values;
  m_asked = true;
  ++m_generation;
  m_changed.notify_all();
}

void LivePreview::ViewChanged() {
  const std::lock_guard<std::mutex> lock(m_mutex);
  ++m_generation;
  m_changed.notify_all();
}

void LivePreview::Stop() {
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
    m_changed.notify_all();
  }
  if (m_thread.joinable()) m_thread.join();
}

int LivePreview::Finished() const {
  const std::lock_guard<std::mutex> lock(m_mutex);
  return m_finished;
}

int LivePreview::Abandoned() const {
  const std::lock_guard<std::mutex> lock(m_mutex);
  return m_abandoned;
}

std::string LivePreview::Failure() const {
  const std::lock_guard<std::mutex> lock(m_mutex);
  return m_failure;
}

std::string LivePreview::Caption(const PreviewValues& values, int percent) const {
  std::string caption = m_title + " - preview, Noise Variance " + FormatNumber(values.noiseLevel) + ", Iterations " +
                        std::to_string(values.iterations);
  if (percent < 100) caption += " (" + std::to_string(percent) + "%)";
  return caption;
}

bool LivePreview::NextRequest(Request& request, unsigned long& generation) {
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    m_changed.wait(lock, [&] { return m_stop || (m_asked && m_generation != generation); });
    if (m_stop) return false;
    // Settled: nothing newer for a moment.
    do {
      generation = m_generation;
    } while (m_changed.wait_for(lock, kSettle, [&] { return m_stop || m_generation != generation; }) && !m_stop);
    if (m_stop) return false;
    request.values = m_values;
    lock.unlock();
    request.shown = PreviewShownPart(m_window.viewedPart(), ImageWidth(m_image), ImageHeight(m_image));
    lock.lock();
    const bool sameAsShown = m_shownAny && request.values == m_lastShown.values && request.shown == m_lastShown.shown;
    if (!request.shown.Empty() && !sameAsShown) return true;
  }
}

void LivePreview::Work() {
  Request request;
  unsigned long generation = 0;
  while (NextRequest(request, generation)) {
    try {
      RunOnce(request, generation);
    } catch (const std::exception& error) {
      const std::lock_guard<std::mutex> lock(m_mutex);
      m_failure = error.what();
      return;
    }
  }
}

void LivePreview::RunOnce(const Request& request, unsigned long generation) {
  const PreviewPart run = PreviewRunPart(request.shown, ImageWidth(m_image), ImageHeight(m_image));
  const HostImagePtr part = ImagePart(m_image, run.x, run.y, run.width, run.height);
  const auto stale = [&] {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_stop || m_generation != generation;
  };
  int redraws = 0;
  Clock::time_point lastShown = Clock::now();
  const auto atRedraw = [&](const Image* work) {
    const int percent = PercentAtRedraw(redraws++, request.values.iterations);
    if (std::chrono::duration<double>(Clock::now() - lastShown).count() < kShownRedrawInterval || stale()) return;
    lastShown = Clock::now();
    m_window.show(PartBytes(work, run, request.shown, m_range), request.shown, Caption(request.values, std::min(percent, 99)));
  };
  const bool finished = m_runner(part.get(), request.values, stale, atRedraw);
  // Shown under the lock, so that Stop returns only after a run's last part.
  const std::lock_guard<std::mutex> lock(m_mutex);
  if (!finished || m_stop || m_generation != generation) {
    ++m_abandoned;
    return;
  }
  m_window.show(PartBytes(part.get(), run, request.shown, m_range), request.shown, Caption(request.values, 100));
  ++m_finished;
  m_shownAny = true;
  m_lastShown = request;
}

}  // namespace calvane::app
