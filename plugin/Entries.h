// The plug-in's entries, as the host reaches them through ENTRYPOINT.
#pragma once

#include "host/PluginEntry.h"

class PluginContext;

int ReturnOneEntry(PluginContext* ctx);   // entry 1
int ConfigureEntry(PluginContext* ctx);   // entry 2
int HostOpsEntry(PluginContext* ctx);     // entry 3
int ReturnZeroEntry(PluginContext* ctx);  // entries 4 and 5
int ProcessEntry(PluginContext* ctx);     // entry 6
int ReleaseEntry(PluginContext* ctx);     // entry 7

extern "C" __attribute__((visibility("default"))) const PluginEntryTable ENTRYPOINT;
