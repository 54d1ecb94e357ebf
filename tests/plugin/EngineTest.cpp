// The denoising engine's calls, their order and their arithmetic, against a
// recording host.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "denoise/TvDenoise.h"
#include "plugin/RecordingHost.h"

namespace {

using recording::Context;
using recording::host;
using ::testing::ElementsAre;

class Engine : public ::testing::Test {
 protected:
  void SetUp() override {
    ReleaseImages();
    host().Reset();
    work = recording::MakeImage(4, 3, 2, 255.0f, 10.0f, "work");
  }
  void TearDown() override {
    ReleaseImages();
    delete params;
  }
  int Run(int type, float variance, int iterations) {
    delete params;
    params = recording::MakeParams(type, variance, iterations);
    Context ctx(&work, params);
    const int result = RunDenoise(&ctx);
    ctx.m_params = nullptr;
    return result;
  }

  Image work;
  PluginParam* params = nullptr;
};

std::vector<std::string> PerIteration(const std::vector<std::string>& ops) {
  // Everything after the set-up calls (GetParams .. GetScale).
  auto it = std::find(ops.begin(), ops.end(), "GetScale");
  return {it == ops.end() ? ops.end() : it + 1, ops.end()};
}

TEST_F(Engine, ZeroOrNegativeCountSetsUpTheCachesAndReturnsAtOnce) {
  const std::vector<float> before = work.samples;
  EXPECT_EQ(Run(0, 5.0f, 0), 0);
  EXPECT_THAT(host().Ops(), ElementsAre("GetParams", "GetImage", "DuplicateImage", "NewImage", "GetScale"));
  EXPECT_EQ(work.samples, before);
  EXPECT_THAT(host().calls[1].values, ElementsAre(0, 0, 0, 1));

  host().Reset();
  EXPECT_EQ(Run(0, 5.0f, -7), 0);
  // The caches exist now: the reference is refreshed, nothing is made.
  EXPECT_THAT(host().Ops(), ElementsAre("GetParams", "GetImage", "CopyImageData", "GetScale"));
  EXPECT_THAT(host().calls[2].images, ElementsAre("work", "img1"));
}

TEST_F(Engine, OneAdditiveIterationWithinTheNoiseLevel) {
  // Curvature 1 everywhere moves every sample by scale/1024, far below a
  // noise level of 1000: no projection.
  const std::vector<float> before = work.samples;
  EXPECT_EQ(Run(0, 1000.0f, 1), 0);
  EXPECT_THAT(host().Ops(), ElementsAre("GetParams", "GetImage", "DuplicateImage", "NewImage", "GetScale",
                                        "TwoD_Curv_Divergence", "AddImage", "ImageDiffEnergy", "UpdateView",
                                        "UpdateProgress"));
  const auto curv = host().Named("TwoD_Curv_Divergence")[0];
  EXPECT_THAT(curv.images, ElementsAre("work", "img2"));
  EXPECT_EQ(curv.values[0], static_cast<double>(255.0f * 1e-6f));
  const auto add = host().Named("AddImage")[0];
  EXPECT_THAT(add.images, ElementsAre("work", "img2"));
  EXPECT_EQ(add.values[0], 255.0 / 1024.0);
  EXPECT_THAT(host().Named("ImageDiffEnergy")[0].images, ElementsAre("work", "img1"));
  EXPECT_THAT(host().Named("UpdateView")[0].values, ElementsAre(0, 0));
  EXPECT_THAT(host().Named("UpdateProgress")[0].values, ElementsAre(1, 1));
  for (std::size_t i = 0; i < before.size(); ++i) EXPECT_FLOAT_EQ(work.samples[i], before[i] + 255.0f / 1024.0f);
}

TEST_F(Engine, ProjectionScalesTheResidualBackToTheNoiseLevel) {
  host().curvatureValue = 400.0f;  // a step of 100 per sample: far outside a level of 2
  const std::vector<float> noisy = work.samples;
  EXPECT_EQ(Run(0, 2.0f, 1), 0);
  EXPECT_THAT(PerIteration(host().Ops()),
              ElementsAre("TwoD_Curv_Divergence", "AddImage", "ImageDiffEnergy", "AddImage", "MultiplyConstant",
                          "UpdateView", "UpdateProgress"));
  const double step = 400.0 * 255.0 / 1024.0;
  const double r = std::sqrt(static_cast<double>(static_cast<float>(step * step))) / 2.0;
  const float rf = static_cast<float>(r);
  const auto adds = host().Named("AddImage");
  EXPECT_THAT(adds[1].images, ElementsAre("work", "img1"));
  EXPECT_EQ(adds[1].values[0], static_cast<double>(static_cast<float>(rf - 1.0)));
  EXPECT_EQ(host().Named("MultiplyConstant")[0].values[0], static_cast<double>(static_cast<float>(1.0 / rf)));
  // The residual is now at the noise level.
  double sum = 0.0;
  for (std::size_t i = 0; i < noisy.size(); ++i) sum += std::pow(double(work.samples[i]) - noisy[i], 2);
  EXPECT_NEAR(std::sqrt(sum / noisy.size()), 2.0, 1e-3);
}

TEST_F(Engine, TwelveIterationsRedrawAfterTheFirstAndEveryFifth) {
  EXPECT_EQ(Run(0, 1e6f, 12), 0);
  const auto ops = PerIteration(host().Ops());
  std::vector<int> progressDone;
  std::vector<int> viewsBeforeProgress;
  int views = 0;
  for (const auto& call : host().calls) {
    if (call.op == "UpdateView") ++views;
    if (call.op == "UpdateProgress") {
      progressDone.push_back(static_cast<int>(call.values[0]));
      EXPECT_EQ(call.values[1], 12);
      viewsBeforeProgress.push_back(views);
    }
  }
  EXPECT_THAT(progressDone, ElementsAre(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12));
  // A view after iterations 1, 6 and 11, each before that iteration's progress.
  EXPECT_THAT(viewsBeforeProgress, ElementsAre(1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 3, 3));
  EXPECT_EQ(host().Count("TwoD_Curv_Divergence"), 12);
}

TEST_F(Engine, CancelAtTheKthProgressReportStopsAfterKIterations) {
  for (int k : {1, 3, 7}) {
    ReleaseImages();
    host().Reset();
    host().cancelAtProgressCall = k;
    work = recording::MakeImage(4, 3, 1, 255.0f, 10.0f, "work");
    const std::vector<float> before = work.samples;
    EXPECT_EQ(Run(0, 1e6f, 20), 1);
    EXPECT_EQ(host().Count("TwoD_Curv_Divergence"), k);
    EXPECT_EQ(host().Count("UpdateProgress"), k);
    EXPECT_EQ(host().Ops().back(), "UpdateProgress");
    // k iterations of scale/1024 each were applied and kept.
    EXPECT_FLOAT_EQ(work.samples[0], before[0] + k * 255.0f / 1024.0f);
    EXPECT_EQ(host().Count("DeleteImage"), 0);
  }
}

TEST_F(Engine, MultiplicativeFlowNeverMeasuresTheResidual) {
  const std::vector<float> before = work.samples;
  EXPECT_EQ(Run(1, 0.001f, 6), 0);
  EXPECT_EQ(host().Count("ImageDiffEnergy"), 0);
  EXPECT_EQ(host().Count("MultiplyConstant"), 0);
  EXPECT_EQ(host().Count("AddImage"), 6);
  EXPECT_FLOAT_EQ(work.samples[3], before[3] + 6 * 255.0f / 1024.0f);
}

TEST_F(Engine, AnotherNoiseTypeLeavesTheImageButStillReportsProgress) {
  for (int type : {2, -1}) {
    ReleaseImages();
    host().Reset();
    const std::vector<float> before = work.samples;
    EXPECT_EQ(Run(type, 5.0f, 7), 0);
    EXPECT_EQ(work.samples, before);
    EXPECT_EQ(host().Count("TwoD_Curv_Divergence"), 7);
    EXPECT_EQ(host().Count("AddImage"), 0);
    EXPECT_EQ(host().Count("UpdateView"), 2);
    EXPECT_EQ(host().Count("UpdateProgress"), 7);
  }
}

TEST_F(Engine, SecondRunReusesBothCachesAndRefreshesTheReference) {
  EXPECT_EQ(Run(1, 5.0f, 3), 0);
  const std::vector<float> afterFirst = work.samples;
  host().Reset();
  host().curvatureValue = 4000.0f;
  EXPECT_EQ(Run(0, 0.5f, 1), 0);
  EXPECT_EQ(host().Count("DuplicateImage"), 0);
  EXPECT_EQ(host().Count("NewImage"), 0);
  EXPECT_THAT(host().Named("CopyImageData")[0].images, ElementsAre("work", "img1"));
  // The projection pulls toward the second run's input, not the first's.
  double sum = 0.0;
  for (std::size_t i = 0; i < afterFirst.size(); ++i) sum += std::pow(double(work.samples[i]) - afterFirst[i], 2);
  EXPECT_NEAR(std::sqrt(sum / afterFirst.size()), 0.5, 1e-3);
}

TEST_F(Engine, WithoutAStoredSetTheDefaultsRun) {
  Context ctx(&work, nullptr);
  EXPECT_EQ(RunDenoise(&ctx), 0);
  EXPECT_EQ(host().Count("UpdateProgress"), 20);
  EXPECT_EQ(host().Count("ImageDiffEnergy"), 20);
}

TEST_F(Engine, ZeroNoiseLevelProjectsOntoTheReferenceWithoutNaN) {
  const std::vector<float> noisy = work.samples;
  EXPECT_EQ(Run(0, 0.0f, 3), 0);
  EXPECT_EQ(work.samples, noisy);
  EXPECT_EQ(host().Count("MultiplyConstant"), 0);
}

TEST_F(Engine, NegativeOrNotANumberNoiseLevelNeverWritesNonFiniteSamples) {
  for (float sigma : {-3.0f, std::numeric_limits<float>::quiet_NaN(), -0.0f,
                      std::numeric_limits<float>::infinity()}) {
    ReleaseImages();
    host().Reset();
    work = recording::MakeImage(4, 3, 1, 255.0f, 10.0f, "work");
    EXPECT_EQ(Run(0, sigma, 4), 0);
    for (float s : work.samples) ASSERT_TRUE(std::isfinite(s)) << sigma;
  }
}

TEST_F(Engine, ReleaseDeletesBothCachesEvenWhenEmpty) {
  ReleaseImages();
  EXPECT_THAT(host().Ops(), ElementsAre("DeleteImage", "DeleteImage"));
  EXPECT_THAT(host().calls[0].images, ElementsAre("null"));
  host().Reset();
  Run(0, 5.0f, 1);
  host().Reset();
  ReleaseImages();
  EXPECT_THAT(host().calls[0].images, ElementsAre("img1"));
  EXPECT_THAT(host().calls[1].images, ElementsAre("img2"));
  EXPECT_EQ(g_pNoisyImage, nullptr);
  EXPECT_EQ(g_pCurvatureImage, nullptr);
}

}  // namespace
