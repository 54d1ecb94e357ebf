#include "plugin/Entries.h"

#include "denoise/TvDenoise.h"
#include "host/PluginContext.h"
#include "plugin/ModuleStateGuard.h"

extern "C" __attribute__((visibility("default"))) const PluginEntryTable ENTRYPOINT = {
    kPluginVersionWord,
    {&ReturnOneEntry, &ConfigureEntry, &HostOpsEntry, &ReturnZeroEntry, &ReturnZeroEntry, &ProcessEntry,
     &ReleaseEntry}};

int ReturnOneEntry(PluginContext*) { return 1; }

int ReturnZeroEntry(PluginContext*) { return 0; }

// The plug-in announces itself to the host at set-up, in two calls whose
// answers it ignores: HostOp38 with nothing to say, then HostOp44 with its
// announcement word, 8, as the sixth argument.
constexpr int kAnnouncementWord = 8;

int HostOpsEntry(PluginContext* ctx) {
  ModuleStateGuard guard;
  ctx->HostOp38(0, 0, 0);
  ctx->HostOp44(0, 0, 0, 0, 0, kAnnouncementWord, 0, 0, 0);
  return 0;
}

int ProcessEntry(PluginContext* ctx) {
  ModuleStateGuard guard;
  return RunDenoise(ctx) != 0 ? 1 : 0;
}

int ReleaseEntry(PluginContext* ctx) {
  ModuleStateGuard guard;
  ReleaseImages();
  return 0;
}
