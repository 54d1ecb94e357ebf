#include "denoise/TvDenoise.h"

#include <cmath>

#include "host/Curvature.h"
#include "host/HostExports.h"
#include "host/Image.h"
#include "host/PluginContext.h"
#include "host/PluginParam.h"
#include "params/ParameterList.h"

Image* g_pNoisyImage = nullptr;
Image* g_pCurvatureImage = nullptr;

namespace {

// From this ratio of distance to noise level on, scaling the residual back
// as noisy x (ratio - 1) overflows single precision for any sample beyond
// about 1.8e19 (the largest float / 2^64), while the projected image would
// differ from the reference copy by under 2^-64 of the residual: far less
// than a sample's own precision.
constexpr float kLargestScalableRatio = 18446744073709551616.0f;  // 2^64

struct RunSettings {
  int nType = NOISE_ADDITIVE;
  float fSigma = kDefaultNoiseVariance;
  int nCount = kDefaultIterations;
};

// The values as stored, not clamped. A host that processes without ever
// storing a set gets the defaults instead of a crash, and so does a set
// with fewer entries than ours.
RunSettings ReadSettings(PluginParam* pParams) {
  RunSettings settings;
  if (pParams == nullptr || pParams->m_pEntries == nullptr) return settings;
  const PluginParamEntry* entries = pParams->m_pEntries;
  if (pParams->m_nCount > PARAM_NOISE_TYPE) settings.nType = entries[PARAM_NOISE_TYPE].value.i;
  if (pParams->m_nCount > PARAM_NOISE_VARIANCE) settings.fSigma = entries[PARAM_NOISE_VARIANCE].value.f;
  if (pParams->m_nCount > PARAM_ITERATIONS) settings.nCount = entries[PARAM_ITERATIONS].value.i;
  return settings;
}

}  // namespace

int RunDenoise(PluginContext* ctx) {
  const RunSettings settings = ReadSettings(ctx->GetParams());

  Image* work = ctx->GetImage(0, 0, 0, 1);
  if (g_pNoisyImage == nullptr) {
    g_pNoisyImage = DuplicateImage(work);
  } else {
    CopyImageData(work, g_pNoisyImage);
  }
  if (g_pCurvatureImage == nullptr) g_pCurvatureImage = NewImage(work);

  const float scale = GetScale(work);
  const float epsilon = scale * 1e-6f;
  const float baseStep = scale * 0.00390625f;

  if (settings.nCount <= 0) return 0;

  for (int i = 0; i < settings.nCount;) {
    TwoD_Curv_Divergence(work, g_pCurvatureImage, epsilon);
    if (settings.nType == NOISE_ADDITIVE) {
      AddImage(work, g_pCurvatureImage, baseStep * 0.25f);
      const double r = std::sqrt(static_cast<double>(ImageDiffEnergy(work, g_pNoisyImage))) /
                       static_cast<double>(settings.fSigma);
      if (r > 1.0) {
        const float rf = static_cast<float>(r);
        if (!(rf < kLargestScalableRatio)) {
          // A radius of zero (or one too small to divide by): the projection
          // onto the ball is its centre, the reference copy itself. Scaling
          // by such a ratio would overflow to infinity on the way.
          CopyImageData(g_pNoisyImage, work);
        } else {
          AddImage(work, g_pNoisyImage, static_cast<float>(rf - 1.0));
          MultiplyConstant(work, static_cast<float>(1.0 / rf));
        }
      }
    } else if (settings.nType == NOISE_MULTIPLICATIVE) {
      AddImage(work, g_pCurvatureImage, baseStep * 0.25f);
    }
    if (i % 5 == 0) ctx->UpdateView(0, 0);
    ++i;
    if (UpdateProgress(i, settings.nCount) != 0) return 1;
  }
  return 0;
}

void ReleaseImages() {
  DeleteImage(g_pNoisyImage);
  g_pNoisyImage = nullptr;
  DeleteImage(g_pCurvatureImage);
  g_pCurvatureImage = nullptr;
}
