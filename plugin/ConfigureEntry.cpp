// The configure entry: make sure the host holds a parameter set.
#include "host/PluginContext.h"
#include "plugin/DefaultParams.h"
#include "plugin/Entries.h"
#include "plugin/ModuleStateGuard.h"

int ConfigureEntry(PluginContext* ctx) {
  ModuleStateGuard guard;
  PluginParam* pParams = ctx->GetParams();
  if (pParams == nullptr) {
    pParams = CreateDefaultParams();
    ctx->SetParams(pParams);
  }
  if (ctx->IsInteractive() == 0) return 0;
  // No dialog can be shown yet: the set stays as it is.
  return 1;
}
