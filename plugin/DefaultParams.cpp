#include "plugin/DefaultParams.h"

#include "afx/afx.h"
#include "host/PluginParam.h"
#include "params/ParameterList.h"

namespace {

// The host's calls take names as char*; it copies them and never writes
// through the pointer.
char* HostText(const char* text) { return const_cast<char*>(text); }

}  // namespace

PluginParam* CreateDefaultParams() {
  // The framework's allocator: exhaustion throws its memory exception.
  PluginParam* pParams = new (afxNew) PluginParam(kParamCount);
  try {
    char* items[kNoiseTypeCount] = {HostText(kAdditiveName), HostText(kMultiplicativeName)};
    pParams->AddStrListParam(HostText(kNoiseTypeName), items, kNoiseTypeCount, NOISE_ADDITIVE);
    pParams->AddFloatParam(HostText(kNoiseVarianceName), kDefaultNoiseVariance, kMinNoiseVariance,
                           kMaxNoiseVarianceAdditive);
    pParams->AddIntParam(HostText(kIterationsName), kDefaultIterations, kMinIterations, kMaxIterations);
  } catch (...) {
    delete pParams;
    throw;
  }
  return pParams;
}
