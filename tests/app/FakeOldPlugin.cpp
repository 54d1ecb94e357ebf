// Looks like the plug-in, but carries the version word of an older table.
#include "host/PluginEntry.h"

namespace {
int Entry(PluginContext*) { return 0; }
}  // namespace

extern "C" __attribute__((visibility("default"))) const PluginEntryTable ENTRYPOINT = {
    0x01000000u, {&Entry, &Entry, &Entry, &Entry, &Entry, &Entry, &Entry}};
