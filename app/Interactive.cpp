#include "app/Interactive.h"

#include "app/ExitStatus.h"
#include "app/HostContext.h"
#include "app/PluginLibrary.h"

namespace calvane::app {

void RequireInteractiveDialog() {
  throw UsageError("-i/--interactive: the plug-in's dialog cannot be shown yet; give the values as options");
}

int ConfigureInteractively(const PluginLibrary& plugin, AppContext& ctx) {
  ctx.SetInteractive(true);
  const int result = plugin.Call(PluginEntryNumber::Configure, &ctx);
  ctx.SetInteractive(false);
  return result;
}

}  // namespace calvane::app
