// The built plug-in's engine on the host library, deferred against eager:
// the same working image to the bit after every redraw and at the end, for
// both noise models, grey and colour (independent and joint), 1, 5 and 12
// iterations; and the deferred run never computes the curvature it keeps
// as a record (the plug-in deletes it unread).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/HostExports.h"
#include "host/Image.h"
#include "host/PluginContext.h"
#include "host/PluginEntry.h"
#include "host/PluginParam.h"
#include "hostlib/Deferred.h"
#include "hostlib/HostImage.h"
#include "hostlib/TestImages.h"

int g_progressCalls = 0;
void PluginHelp(const char*) {}
int UpdateProgress(int, int) {
  ++g_progressCalls;
  return 0;
}

namespace {

std::vector<std::uint32_t> Bits(const std::vector<float>& samples) {
  std::vector<std::uint32_t> bits(samples.size());
  std::memcpy(bits.data(), samples.data(), samples.size() * sizeof(float));
  return bits;
}

// A host that redraws from the working image's planes, as the program does.
class RedrawingHost final : public PluginContext {
 public:
  explicit RedrawingHost(Image* work) : m_work(work) {}
  ~RedrawingHost() { delete m_params; }
  void SetParams(PluginParam* params) override {
    if (params != m_params) delete m_params;
    m_params = params;
  }
  PluginParam* GetParams() override { return m_params; }
  Image* GetImage(int, int, int, int) override { return m_work; }
  int UpdateView(int, int) override {
    m_views.push_back(Bits(calvane::test::Samples(m_work)));
    return 0;
  }
  PluginParam* m_params = nullptr;
  Image* m_work;
  std::vector<std::vector<std::uint32_t>> m_views;
};

struct Outcome {
  std::vector<std::vector<std::uint32_t>> views;
  std::vector<std::uint32_t> result;
};

Outcome Denoise(const PluginEntryTable* table, int channels, bool joint, int noiseType, float noiseLevel, int iterations,
               bool eager) {
  SetHostOperationsEager(eager);
  calvane::test::ImagePtr work = calvane::test::RandomImage(301, 203, channels, 4, 255.0f, 0.0f, 255.0f);
  SetImageChannelCoupling(work.get(), joint ? ChannelCoupling::Joint : ChannelCoupling::Independent);
  RedrawingHost ctx(work.get());
  EXPECT_EQ(table->entries[1](&ctx), 0);  // stores the default set
  ctx.m_params->m_pEntries[0].value.i = noiseType;
  ctx.m_params->m_pEntries[1].value.f = noiseLevel;
  ctx.m_params->m_pEntries[2].value.i = iterations;
  g_progressCalls = 0;
  const std::size_t computed = calvane::hostlib::CurvatureRecordsComputed();
  EXPECT_EQ(table->entries[5](&ctx), 0);
  EXPECT_EQ(g_progressCalls, iterations);
  Outcome run;
  run.views = ctx.m_views;
  run.result = Bits(calvane::test::Samples(work.get()));
  EXPECT_EQ(table->entries[6](&ctx), 0);
  EXPECT_EQ(calvane::hostlib::CurvatureRecordsComputed(), computed) << "the curvature was computed for no reader";
  SetHostOperationsEager(false);
  return run;
}

TEST(DeferredPlugin, TheEngineGetsTheEagerSamplesAtEveryRedrawAndAtTheEnd) {
  void* handle = dlopen(CALVANE_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  const auto* table = static_cast<const PluginEntryTable*>(dlsym(handle, CALVANE_ENTRYPOINT_SYMBOL));
  ASSERT_NE(table, nullptr);
  // Additive noise with a noise level far below the distance one step
  // moves the image (every iteration projects) and far above it (none
  // does), and multiplicative noise (no energy, no projection).
  const struct {
    int type;
    float level;
  } noises[] = {{0, 0.05f}, {0, 1e6f}, {1, 20.0f}};
  for (int iterations : {1, 5, 12}) {
    for (const auto& noise : noises) {
      for (const auto& [channels, joint] : {std::pair{1, false}, std::pair{3, false}, std::pair{3, true}}) {
        const std::string what = std::to_string(iterations) + " iterations, noise " + std::to_string(noise.type) +
                                 " level " + std::to_string(noise.level) + ", " + std::to_string(channels) +
                                 " channels" + (joint ? " joint" : "");
        const Outcome eager = Denoise(table, channels, joint, noise.type, noise.level, iterations, true);
        const Outcome fused = Denoise(table, channels, joint, noise.type, noise.level, iterations, false);
        // Redraws after iterations 1, 6 and 11.
        ASSERT_EQ(eager.views.size(), static_cast<std::size_t>((iterations + 4) / 5)) << what;
        ASSERT_EQ(fused.views.size(), eager.views.size()) << what;
        for (std::size_t i = 0; i < eager.views.size(); ++i) {
          EXPECT_EQ(eager.views[i], fused.views[i]) << what << ", redraw " << i;
        }
        EXPECT_EQ(eager.result, fused.result) << what;
        if (iterations % 5 != 1) {
          EXPECT_NE(eager.result, eager.views.back()) << what << ": iterations after the last redraw changed the image";
        } else {
          EXPECT_EQ(eager.result, eager.views.back()) << what << ": the last iteration was redrawn";
        }
      }
    }
  }
  dlclose(handle);
}

}  // namespace
