#include "plugin/DefaultParams.h"

#include "host/PluginParam.h"

namespace {

char kNoiseTypeName[] = "Noise Type";
char kNoiseVarianceName[] = "Noise Variance";
char kIterationsName[] = "Iterations";
char kAdditive[] = "Additive";
char kMultiplicative[] = "Multiplicative";

}  // namespace

PluginParam* CreateDefaultParams() {
  PluginParam* pParams = new PluginParam(3);
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
