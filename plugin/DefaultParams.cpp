#include "plugin/DefaultParams.h"

#include "afx/afx.h"
#include "host/PluginParam.h"

namespace {

char kNoiseTypeName[] = "Noise Type";
char kNoiseVarianceName[] = "Noise Variance";
char kIterationsName[] = "Iterations";
char kAdditive[] = "Additive";
char kMultiplicative[] = "Multiplicative";

}  // namespace

PluginParam* CreateDefaultParams() {
  // The framework's allocator: exhaustion throws its memory exception.
  PluginParam* pParams = new (afxNew) PluginParam(3);
  try {
    char* items[2] = {kAdditive, kMultiplicative};
    pParams->AddStrListParam(kNoiseTypeName, items, 2, NOISE_ADDITIVE);
    pParams->AddFloatParam(kNoiseVarianceName, kDefaultNoiseVariance, 0.0f, kMaxNoiseVarianceAdditive);
    pParams->AddIntParam(kIterationsName, kDefaultIterations, kMinIterations, kMaxIterations);
  } catch (...) {
    delete pParams;
    throw;
  }
  return pParams;
}
