// The built plug-in, loaded as a host loads it, denoising on the real host
// library.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>

#include "host/HostExports.h"
#include "host/Image.h"
#include "host/PluginContext.h"
#include "host/PluginEntry.h"
#include "host/PluginParam.h"
#include "hostlib/HostImage.h"

int g_progressCalls = 0;
void PluginHelp(const char*) {}
int UpdateProgress(int, int) {
  ++g_progressCalls;
  return 0;
}

namespace {

class SimpleHost final : public PluginContext {
 public:
  explicit SimpleHost(Image* work) : m_work(work) {}
  ~SimpleHost() { delete m_params; }
  void SetParams(PluginParam* params) override {
    if (params != m_params) delete m_params;
    m_params = params;
  }
  PluginParam* GetParams() override { return m_params; }
  Image* GetImage(int, int, int, int) override { return m_work; }
  PluginParam* m_params = nullptr;
  Image* m_work;
};

class LoadedPlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    m_handle = dlopen(CALVANE_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(m_handle, nullptr) << dlerror();
    m_table = static_cast<const PluginEntryTable*>(dlsym(m_handle, CALVANE_ENTRYPOINT_SYMBOL));
    ASSERT_NE(m_table, nullptr);
  }
  void TearDown() override {
    if (m_handle != nullptr) dlclose(m_handle);
  }
  int Call(int number, PluginContext* ctx) { return m_table->entries[number - 1](ctx); }

  void* m_handle = nullptr;
  const PluginEntryTable* m_table = nullptr;
};

TEST_F(LoadedPlugin, ExportsTheTableWithItsVersionWord) {
  EXPECT_EQ(m_table->version, 0x02010000u);
  EXPECT_EQ(Call(1, nullptr), 1);
  EXPECT_EQ(Call(4, nullptr), 0);
  EXPECT_EQ(Call(5, nullptr), 0);
  EXPECT_EQ(m_table->entries[3], m_table->entries[4]);
  EXPECT_EQ(dlsym(m_handle, "RunDenoise"), nullptr) << "only ENTRYPOINT is exported";
}

double Psnr(const Image* a, const Image* b, double peak) {
  double sum = 0.0;
  const float* x = ImagePlane(a, 0);
  const float* y = ImagePlane(b, 0);
  const std::size_t n = ImageSampleCount(a);
  for (std::size_t i = 0; i < n; ++i) sum += std::pow(double(x[i]) - double(y[i]), 2);
  return 10.0 * std::log10(peak * peak / (sum / double(n)));
}

TEST_F(LoadedPlugin, HundredIterationsGainSixDecibelsOnAPiecewiseConstantImage) {
  const int w = 160, h = 120;
  Image* clean = CreateImage(w, h, 1, 255.0f);
  float* c = ImagePlane(clean, 0);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      float v = x < 60 ? 60.0f : 170.0f;
      if (std::hypot(x - 110.0, y - 60.0) < 30.0) v = 230.0f;
      if (y > 90 && x < 100) v = 110.0f;
      c[y * w + x] = v;
    }
  }
  Image* work = DuplicateImage(clean);
  std::mt19937 rng(2024);
  std::normal_distribution<float> noise(0.0f, 20.0f);
  float* s = ImagePlane(work, 0);
  for (int i = 0; i < w * h; ++i) s[i] += noise(rng);
  const double before = Psnr(work, clean, 255.0);

  SimpleHost ctx(work);
  ASSERT_EQ(Call(2, &ctx), 0);  // creates and stores the default set
  ASSERT_NE(ctx.m_params, nullptr);
  ctx.m_params->m_pEntries[1].value.f = 20.0f;
  ctx.m_params->m_pEntries[2].value.i = 100;
  g_progressCalls = 0;
  ASSERT_EQ(Call(6, &ctx), 0);
  EXPECT_EQ(g_progressCalls, 100);
  EXPECT_EQ(Call(7, &ctx), 0);

  const double after = Psnr(work, clean, 255.0);
  std::printf("PSNR %.2f dB -> %.2f dB\n", before, after);
  EXPECT_GE(after - before, 6.0) << "PSNR " << before << " dB -> " << after << " dB";
  // The residual stays within the noise level.
  EXPECT_LE(std::sqrt(ImageDiffEnergy(work, clean)), 20.0f * 1.5f);
  DeleteImage(work);
  DeleteImage(clean);
}

TEST_F(LoadedPlugin, CachedImagesFollowAWorkingImageOfAnotherSize) {
  Image* first = CreateImage(64, 48, 3, 255.0f);
  Image* second = CreateImage(200, 30, 1, 65535.0f);
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> dist(0.0f, 60000.0f);
  for (Image* image : {first, second}) {
    for (int ch = 0; ch < ImageChannels(image); ++ch) {
      float* p = ImagePlane(image, ch);
      for (std::size_t i = 0; i < ImageSampleCount(image) / ImageChannels(image); ++i) p[i] = dist(rng);
    }
  }
  SimpleHost ctx(first);
  ASSERT_EQ(Call(2, &ctx), 0);
  ctx.m_params->m_pEntries[2].value.i = 5;
  EXPECT_EQ(Call(6, &ctx), 0);
  ctx.m_work = second;
  EXPECT_EQ(Call(6, &ctx), 0);
  for (std::size_t i = 0; i < ImageSampleCount(second); ++i) ASSERT_TRUE(std::isfinite(ImagePlane(second, 0)[i]));
  EXPECT_EQ(Call(7, &ctx), 0);
  DeleteImage(first);
  DeleteImage(second);
}

}  // namespace
