// The built plug-in's engine on the host library, deferred against eager:
// the same working image to the bit after every redraw and at the end, for
// both noise models, grey and joint colour.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "host/HostExports.h"
#include "host/Image.h"
#include "host/PluginContext.h"
#include "host/PluginEntry.h"
#include "host/PluginParam.h"
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

Outcome Denoise(const PluginEntryTable* table, int channels, bool joint, int noiseType, bool eager) {
  SetHostOperationsEager(eager);
  calvane::test::ImagePtr work = calvane::test::RandomImage(301, 203, channels, 4, 255.0f, 0.0f, 255.0f);
  SetImageChannelCoupling(work.get(), joint ? ChannelCoupling::Joint : ChannelCoupling::Independent);
  RedrawingHost ctx(work.get());
  EXPECT_EQ(table->entries[1](&ctx), 0);  // stores the default set
  ctx.m_params->m_pEntries[0].value.i = noiseType;
  ctx.m_params->m_pEntries[1].value.f = 20.0f;  // below the noise: every iteration projects
  ctx.m_params->m_pEntries[2].value.i = 12;
  g_progressCalls = 0;
  EXPECT_EQ(table->entries[5](&ctx), 0);
  EXPECT_EQ(g_progressCalls, 12);
  Outcome run;
  run.views = ctx.m_views;
  run.result = Bits(calvane::test::Samples(work.get()));
  EXPECT_EQ(table->entries[6](&ctx), 0);
  SetHostOperationsEager(false);
  return run;
}

TEST(DeferredPlugin, TheEngineGetsTheEagerSamplesAtEveryRedrawAndAtTheEnd) {
  void* handle = dlopen(CALVANE_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  const auto* table = static_cast<const PluginEntryTable*>(dlsym(handle, CALVANE_ENTRYPOINT_SYMBOL));
  ASSERT_NE(table, nullptr);
  for (int noiseType : {0, 1}) {
    for (const auto& [channels, joint] : {std::pair{1, false}, std::pair{3, false}, std::pair{3, true}}) {
      const Outcome eager = Denoise(table, channels, joint, noiseType, true);
      const Outcome fused = Denoise(table, channels, joint, noiseType, false);
      ASSERT_EQ(eager.views.size(), 3u) << "redraws after iterations 1, 6 and 11";
      ASSERT_EQ(fused.views.size(), eager.views.size());
      for (std::size_t i = 0; i < eager.views.size(); ++i) {
        EXPECT_EQ(eager.views[i], fused.views[i]) << "noise " << noiseType << ", " << channels << " channels"
                                                  << (joint ? " joint" : "") << ", redraw " << i;
      }
      EXPECT_EQ(eager.result, fused.result) << "noise " << noiseType << ", " << channels << " channels";
      EXPECT_NE(eager.result, eager.views.back()) << "iterations after the last redraw changed the image";
    }
  }
  dlclose(handle);
}

}  // namespace
