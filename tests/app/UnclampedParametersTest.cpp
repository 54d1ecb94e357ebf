// The built plug-in, loaded by the program's own loader and run on the
// program's host (AppContext and the real host library), with parameter
// values that a host ignoring the set's limits may store.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <vector>

#include "app/HostContext.h"
#include "app/ImageFile.h"
#include "app/PluginLibrary.h"
#include "host/HostExports.h"
#include "host/PluginParam.h"
#include "hostlib/HostImage.h"

namespace {

// This executable is the host the plug-in resolves these from.
int g_progressReports = 0;
int g_lastTotal = 0;
int g_stopAtReport = 0;  // 0: never ask to stop

}  // namespace

void PluginHelp(const char*) {}

int UpdateProgress(int, int total) {
  ++g_progressReports;
  g_lastTotal = total;
  return g_stopAtReport != 0 && g_progressReports >= g_stopAtReport ? 1 : 0;
}

namespace calvane::app {
namespace {

constexpr float kScale = 255.0f;

class UnclampedParameters : public ::testing::Test {
 protected:
  void SetUp() override {
    g_progressReports = 0;
    g_stopAtReport = 0;
    ASSERT_EQ(m_plugin.Call(PluginEntryNumber::HostOps, &m_ctx), 0);
    ASSERT_EQ(m_plugin.Call(PluginEntryNumber::Configure, &m_ctx), 0);
    ASSERT_NE(m_ctx.GetParams(), nullptr);
    MakeImage();
  }
  // Two flat halves with an edge, and some texture: every iteration has
  // work to do.
  void MakeImage() {
    m_work.reset(CreateImage(24, 16, 2, kScale));
    for (int c = 0; c < 2; ++c) {
      float* plane = ImagePlane(m_work.get(), c);
      for (int i = 0; i < 24 * 16; ++i) plane[i] = (i % 24 < 12 ? 40.0f : 200.0f) + static_cast<float>((i * 7 + c) % 13);
    }
    m_ctx.SetWorkingImage(m_work.get());
  }
  void TearDown() override {
    m_ctx.SetWorkingImage(nullptr);
    m_plugin.Call(PluginEntryNumber::Release, &m_ctx);
  }

  // Stores the values as a host would that never looks at the limits.
  void Store(int type, float variance, int iterations) {
    PluginParamEntry* entries = m_ctx.GetParams()->m_pEntries;
    entries[0].value.i = type;
    entries[1].value.f = variance;
    entries[2].value.i = iterations;
  }
  int Process() { return m_plugin.Call(PluginEntryNumber::Process, &m_ctx); }

  std::vector<float> Samples() const {
    const float* first = ImagePlane(m_work.get(), 0);
    return std::vector<float>(first, first + ImageSampleCount(m_work.get()));
  }
  bool AllFinite() const {
    for (float sample : Samples()) {
      if (!std::isfinite(sample)) return false;
    }
    return true;
  }

  PluginLibrary m_plugin{CALVANE_PLUGIN_PATH};
  AppContext m_ctx;
  HostImagePtr m_work;
};

TEST_F(UnclampedParameters, ZeroAndNegativeCountsReturnAtOnce) {
  for (int count : {0, -1, INT_MIN}) {
    SCOPED_TRACE(count);
    const std::vector<float> before = Samples();
    Store(0, 5.0f, count);
    EXPECT_EQ(Process(), 0);
    EXPECT_EQ(g_progressReports, 0);
    EXPECT_EQ(Samples(), before);
  }
}

TEST_F(UnclampedParameters, AHugeCountRunsUntilTheHostCancels) {
  for (int type : {0, 1}) {
    SCOPED_TRACE(type);
    g_progressReports = 0;
    g_stopAtReport = 50;
    Store(type, 5.0f, INT_MAX);
    const std::vector<float> before = Samples();
    EXPECT_EQ(Process(), 1) << "cancelled";
    EXPECT_EQ(g_progressReports, 50);
    EXPECT_EQ(g_lastTotal, INT_MAX);
    EXPECT_NE(Samples(), before) << "the iterations done are kept";
    EXPECT_TRUE(AllFinite());
  }
}

TEST_F(UnclampedParameters, NoNoiseLevelWritesNaNOrInfinity) {
  const float kNaN = std::numeric_limits<float>::quiet_NaN();
  const float kInfinity = std::numeric_limits<float>::infinity();
  const float kTiny = std::numeric_limits<float>::denorm_min();
  for (float variance : {-5.0f, -kInfinity, kNaN, -kNaN, 0.0f, -0.0f, kTiny, 1e-38f, 1e-30f, kInfinity,
                         std::numeric_limits<float>::max()}) {
    SCOPED_TRACE(variance);
    MakeImage();
    Store(0, variance, 12);
    EXPECT_EQ(Process(), 0);
    EXPECT_TRUE(AllFinite());
  }
}

TEST_F(UnclampedParameters, ANoiseLevelTooSmallToDivideByKeepsTheInput) {
  // Scaling the residual back to such a level would overflow single
  // precision; the nearest image within it is the input itself.
  const std::vector<float> input = Samples();
  Store(0, 1e-38f, 5);
  EXPECT_EQ(Process(), 0);
  const std::vector<float> output = Samples();
  for (std::size_t i = 0; i < input.size(); ++i) ASSERT_NEAR(output[i], input[i], 1e-3f) << i;
}

TEST_F(UnclampedParameters, UnknownNoiseTypesLeaveTheImage) {
  for (int type : {2, -1, INT_MAX}) {
    SCOPED_TRACE(type);
    const std::vector<float> before = Samples();
    Store(type, 5.0f, 7);
    EXPECT_EQ(Process(), 0);
    EXPECT_EQ(Samples(), before);
  }
}

}  // namespace
}  // namespace calvane::app
