// The dialog's live preview on the program's host: the built plug-in run in
// the background on the part in view, newest values first, stale runs
// abandoned, and the values read from the plug-in's own dialog as the user
// changes them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/AutoVariance.h"
#include "app/HostContext.h"
#include "app/LivePreview.h"
#include "app/ParameterSet.h"
#include "app/PluginLibrary.h"
#include "app/Progress.h"
#include "host/HostExports.h"
#include "host/PluginParam.h"
#include "hostlib/HostImage.h"
#include "win/commctrl.h"
#include "win/headless.h"

// This executable is the host the plug-in resolves these from: the
// program's own progress, so that the preview's thread answers for itself.
void PluginHelp(const char*) {}
int UpdateProgress(int done, int total) { return calvane::app::ReportProgress(done, total); }

namespace calvane::app {
namespace {

constexpr long long kWidth = 96, kHeight = 80;

// Two flat halves with noise of a fixed draw, in three channels.
HostImagePtr NoisyImage() {
  HostImagePtr image(CreateImage(kWidth, kHeight, 3, 255.0f));
  std::uint32_t state = 12345;
  for (int c = 0; c < 3; ++c) {
    float* plane = ImagePlane(image.get(), c);
    for (long long i = 0; i < kWidth * kHeight; ++i) {
      state = state * 1664525u + 1013904223u;
      const float noise = static_cast<float>((state >> 8) % 61) - 30.0f;
      plane[i] = (i % kWidth < kWidth / 2 ? 70.0f : 180.0f) + 10.0f * c + noise;
    }
  }
  return image;
}

// What the picture window was asked to show.
struct Shown {
  std::vector<unsigned char> rgba;
  PreviewPart part;
  std::string title;
};

class FakeWindow {
 public:
  PreviewWindow Window() {
    PreviewWindow window;
    window.viewedPart = [this] {
      const std::lock_guard<std::mutex> lock(m_mutex);
      return m_viewed;
    };
    window.show = [this](const std::vector<unsigned char>& rgba, const PreviewPart& part, const std::string& title) {
      const std::lock_guard<std::mutex> lock(m_mutex);
      m_shown.push_back(Shown{rgba, part, title});
      m_changed.notify_all();
    };
    return window;
  }
  void View(const PreviewPart& part) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_viewed = part;
  }
  // The last part shown once one with a finished run's caption (no
  // percentage) is; a guard against hanging, not a measure of speed.
  Shown WaitForFinished(std::size_t count) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::seconds(60), [&] { return Finished() >= count; });
    return m_shown.empty() ? Shown{} : m_shown.back();
  }
  std::size_t ShownCount() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_shown.size();
  }

 private:
  std::size_t Finished() const {
    std::size_t finished = 0;
    for (const Shown& shown : m_shown) finished += shown.title.find('%') == std::string::npos ? 1 : 0;
    return finished;
  }

  std::mutex m_mutex;
  std::condition_variable m_changed;
  PreviewPart m_viewed{0, 0, kWidth, kHeight};
  std::vector<Shown> m_shown;
};

class LivePreviewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(m_plugin.Call(PluginEntryNumber::HostOps, &m_ctx), 0);
    ASSERT_EQ(m_plugin.Call(PluginEntryNumber::Configure, &m_ctx), 0);
    ASSERT_NE(m_ctx.GetParams(), nullptr);
  }
  void TearDown() override { m_plugin.Call(PluginEntryNumber::Release, &m_ctx); }

  // The plug-in's own run on `part` of the image, on this thread, as the
  // picture shows its `shown` part.
  std::vector<unsigned char> OwnRun(const PreviewPart& run, const PreviewPart& shown, const PreviewValues& values) {
    const HostImagePtr part = ImagePart(m_image.get(), run.x, run.y, run.width, run.height);
    SetFloatParameter(*m_ctx.GetParams(), kNoiseVarianceParameter, values.noiseLevel, "level");
    SetIntParameter(*m_ctx.GetParams(), kIterationsParameter, values.iterations, "count");
    m_ctx.SetWorkingImage(part.get());
    EXPECT_EQ(m_plugin.Call(PluginEntryNumber::Process, &m_ctx), 0);
    m_ctx.SetWorkingImage(nullptr);
    const std::vector<unsigned char> all = PictureBytes(part.get(), PictureRangeOf(m_image.get()));
    std::vector<unsigned char> bytes;
    for (long long y = shown.y; y < shown.y + shown.height; ++y) {
      const auto row = all.begin() + 4 * ((y - run.y) * run.width + (shown.x - run.x));
      bytes.insert(bytes.end(), row, row + 4 * shown.width);
    }
    return bytes;
  }

  PluginLibrary m_plugin{CALVANE_PLUGIN_PATH};
  AppContext m_ctx;
  HostImagePtr m_image = NoisyImage();
  FakeWindow m_window;
};

TEST(PreviewParts, TheViewIsPreviewedWholeUpToAMegapixelAndRunWithAMarginInsideTheImage) {
  // A view within a small image: itself; its run 32 pixels wider on each
  // side, cut at the image's border.
  EXPECT_EQ(PreviewShownPart(PreviewPart{10, 20, 40, 30}, 96, 80), (PreviewPart{10, 20, 40, 30}));
  EXPECT_EQ(PreviewRunPart(PreviewPart{10, 20, 40, 30}, 96, 80), (PreviewPart{0, 0, 82, 80}));
  EXPECT_EQ(PreviewRunPart(PreviewPart{40, 40, 10, 10}, 200, 200), (PreviewPart{8, 8, 74, 74}));
  // A view reaching past the image is cut to it; one beside it is empty.
  EXPECT_EQ(PreviewShownPart(PreviewPart{-5, 70, 40, 30}, 96, 80), (PreviewPart{0, 70, 35, 10}));
  EXPECT_TRUE(PreviewShownPart(PreviewPart{100, 0, 40, 30}, 96, 80).Empty());
  // A fitted 4000x3000 view: the same shape about the same centre, at most
  // a megapixel.
  const PreviewPart large = PreviewShownPart(PreviewPart{0, 0, 4000, 3000}, 4000, 3000);
  EXPECT_LE(large.width * large.height, kPreviewPixels);
  EXPECT_GE(large.width * large.height, kPreviewPixels * 99 / 100);
  EXPECT_NEAR(static_cast<double>(large.width) / large.height, 4.0 / 3.0, 0.01);
  EXPECT_NEAR(large.x + large.width / 2.0, 2000, 1);
  EXPECT_NEAR(large.y + large.height / 2.0, 1500, 1);
}

TEST_F(LivePreviewTest, APreviewShowsWhatThePluginsOwnRunGivesOnThePartInView) {
  const PreviewPart viewed{10, 20, 40, 30};
  m_window.View(viewed);
  const PreviewValues values{12.0, 20};
  Shown shown;
  {
    LivePreview preview(m_image.get(), PictureRangeOf(m_image.get()), "calvane", m_window.Window(),
                        PluginPreviewRunner(m_plugin, *m_ctx.GetParams()));
    preview.Ask(values);
    shown = m_window.WaitForFinished(1);
    preview.Stop();
    EXPECT_EQ(preview.Finished(), 1);
    EXPECT_EQ(preview.Failure(), "");
  }
  EXPECT_EQ(shown.part, viewed);
  EXPECT_EQ(shown.title, "calvane - preview, Noise Variance 12, Iterations 20");
  const std::vector<unsigned char> own = OwnRun(PreviewPart{0, 0, 82, 80}, viewed, values);
  ASSERT_EQ(shown.rgba.size(), own.size());
  EXPECT_TRUE(shown.rgba == own) << "the preview is not the plug-in's own result on that part";
  // And it is not the noisy picture: the flow did its work.
  const std::vector<unsigned char> noisy = PictureBytes(m_image.get(), PictureRangeOf(m_image.get()));
  EXPECT_NE(shown.rgba[0], noisy[4 * (20 * kWidth + 10)]);
}

TEST_F(LivePreviewTest, ThePartFollowsTheViewAndTheValuesTheNewest) {
  LivePreview preview(m_image.get(), PictureRangeOf(m_image.get()), "calvane", m_window.Window(),
                      PluginPreviewRunner(m_plugin, *m_ctx.GetParams()));
  preview.Ask(PreviewValues{12.0, 20});
  m_window.WaitForFinished(1);
  m_window.View(PreviewPart{50, 40, 30, 30});
  preview.ViewChanged();
  const Shown moved = m_window.WaitForFinished(2);
  EXPECT_EQ(moved.part, (PreviewPart{50, 40, 30, 30}));
  EXPECT_EQ(moved.title, "calvane - preview, Noise Variance 12, Iterations 20");
  preview.Ask(PreviewValues{3.5, 40});
  const Shown retuned = m_window.WaitForFinished(3);
  EXPECT_EQ(retuned.title, "calvane - preview, Noise Variance 3.5, Iterations 40");
  preview.Stop();
  EXPECT_EQ(retuned.rgba, OwnRun(PreviewPart{18, 8, 78, 72}, PreviewPart{50, 40, 30, 30}, PreviewValues{3.5, 40}));
}

TEST_F(LivePreviewTest, ARunMadeStaleByNewerValuesIsAbandonedAndTheNewestShown) {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<PreviewValues> runs;
  bool staleSeen = false;
  // The first run waits until it is told it is stale, as a long run would.
  const PreviewRunner runner = [&](Image*, const PreviewValues& values, const std::function<bool()>& stale,
                                   const std::function<void(const Image*)>&) {
    std::unique_lock<std::mutex> lock(mutex);
    runs.push_back(values);
    changed.notify_all();
    if (runs.size() > 1) return true;
    lock.unlock();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!stale() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    lock.lock();
    staleSeen = stale();
    return false;
  };
  LivePreview preview(m_image.get(), PictureRangeOf(m_image.get()), "calvane", m_window.Window(), runner);
  preview.Ask(PreviewValues{5.0, 100000});
  {
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(60), [&] { return !runs.empty(); }));
  }
  preview.Ask(PreviewValues{7.0, 10});
  const Shown shown = m_window.WaitForFinished(1);
  preview.Stop();
  EXPECT_TRUE(staleSeen);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[1], (PreviewValues{7.0, 10}));
  EXPECT_EQ(preview.Abandoned(), 1);
  EXPECT_EQ(preview.Finished(), 1);
  EXPECT_EQ(shown.title, "calvane - preview, Noise Variance 7, Iterations 10");
  EXPECT_EQ(m_window.ShownCount(), 1u) << "the abandoned run showed its part";
}

TEST_F(LivePreviewTest, StoppingAbandonsTheRunInProgressAndShowsNothingAfter) {
  std::mutex mutex;
  std::condition_variable changed;
  bool running = false;
  const PreviewRunner plugin = PluginPreviewRunner(m_plugin, *m_ctx.GetParams());
  const PreviewRunner runner = [&](Image* part, const PreviewValues& values, const std::function<bool()>& stale,
                                   const std::function<void(const Image*)>& atRedraw) {
    return plugin(part, values, stale, [&](const Image* work) {
      {
        const std::lock_guard<std::mutex> lock(mutex);
        running = true;
        changed.notify_all();
      }
      atRedraw(work);
    });
  };
  LivePreview preview(m_image.get(), PictureRangeOf(m_image.get()), "calvane", m_window.Window(), runner);
  preview.Ask(PreviewValues{0.01, 1000000});
  {
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(60), [&] { return running; }));
  }
  preview.Stop();
  const std::size_t shown = m_window.ShownCount();
  EXPECT_EQ(preview.Finished(), 0);
  EXPECT_EQ(preview.Abandoned(), 1);
  EXPECT_EQ(m_window.ShownCount(), shown);
}

TEST_F(LivePreviewTest, ThePluginRunnerStopsAtTheFirstStaleReportWithThatManyIterationsDone) {
  const PreviewRunner runner = PluginPreviewRunner(m_plugin, *m_ctx.GetParams());
  const HostImagePtr part = ImagePart(m_image.get(), 0, 0, kWidth, kHeight);
  int reports = 0;
  int redraws = 0;
  const bool finished = runner(
      part.get(), PreviewValues{40.0, 1000}, [&] { return ++reports >= 7; }, [&](const Image*) { ++redraws; });
  EXPECT_FALSE(finished);
  EXPECT_EQ(reports, 7);
  EXPECT_EQ(redraws, 2);  // after iterations 1 and 6
  // The same as seven iterations of the plug-in's own run.
  const HostImagePtr own = ImagePart(m_image.get(), 0, 0, kWidth, kHeight);
  SetFloatParameter(*m_ctx.GetParams(), kNoiseVarianceParameter, 40.0, "level");
  SetIntParameter(*m_ctx.GetParams(), kIterationsParameter, 7, "count");
  m_ctx.SetWorkingImage(own.get());
  ASSERT_EQ(m_plugin.Call(PluginEntryNumber::Process, &m_ctx), 0);
  m_ctx.SetWorkingImage(nullptr);
  for (int c = 0; c < 3; ++c) {
    const float* a = ImagePlane(part.get(), c);
    const float* b = ImagePlane(own.get(), c);
    ASSERT_TRUE(std::equal(a, a + kWidth * kHeight, b)) << "channel " << c;
  }
  // The preview's own set: the host's values are as they were.
  EXPECT_EQ(m_ctx.GetParams()->m_pEntries[m_ctx.GetParams()->Find(kIterationsParameter)].value.i, 7);
}

// The plug-in's own dialog, driven as a person would, with the watcher on.
class DialogValues : public LivePreviewTest {
 protected:
  std::vector<PreviewValues> Drive(const std::function<void(win::HeadlessPresentation&)>& script) {
    std::vector<PreviewValues> taken;
    win::HeadlessPresentation presentation;
    script(presentation);
    const win::PresentationScope scope(presentation);
    const DialogValueWatcher watcher([&](const PreviewValues& values) { taken.push_back(values); });
    m_ctx.SetInteractive(true);
    m_plugin.Call(PluginEntryNumber::Configure, &m_ctx);
    m_ctx.SetInteractive(false);
    m_boxes = presentation.MessageBoxes().size();
    return taken;
  }
  std::size_t m_boxes = 0;
};

TEST_F(DialogValues, EveryValueTheDialogTakesIsPassedOnAndNoOtherText) {
  SetFloatParameter(*m_ctx.GetParams(), kNoiseVarianceParameter, 5.0, "level");
  SetIntParameter(*m_ctx.GetParams(), kIterationsParameter, 20, "count");
  const std::vector<PreviewValues> taken = Drive([](win::HeadlessPresentation& p) {
    // A field reached by its mnemonic has its text selected.
    p.Press('V', win::kAlt).Type("12.5").Press(VK_TAB);  // validated: taken
    p.Press('V', win::kAlt).Type("abc").Press(VK_TAB);   // refused with a box: not taken
    p.Press('V', win::kAlt).Type("7").Press(VK_TAB);
    p.DragThumb(1007, 40);  // the count's slider
    p.Press(VK_ESCAPE);
  });
  EXPECT_EQ(m_boxes, 1u);
  ASSERT_FALSE(taken.empty());
  EXPECT_EQ(taken.front(), (PreviewValues{5.0, 20})) << "the values the dialog opens on";
  for (const PreviewValues& values : taken) {
    EXPECT_TRUE(values == (PreviewValues{5.0, 20}) || values == (PreviewValues{12.5, 20}) ||
                values == (PreviewValues{7.0, 20}) || values == (PreviewValues{7.0, 40}))
        << values.noiseLevel << ", " << values.iterations;
  }
  const auto has = [&](const PreviewValues& wanted) {
    return std::find(taken.begin(), taken.end(), wanted) != taken.end();
  };
  EXPECT_TRUE(has(PreviewValues{12.5, 20}));
  EXPECT_TRUE(has(PreviewValues{7.0, 20}));
  EXPECT_EQ(taken.back(), (PreviewValues{7.0, 40}));
}

}  // namespace
}  // namespace calvane::app
