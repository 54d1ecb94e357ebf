// The host a fuzz target is to the plug-in's objects linked into it: the
// program's exports (PluginHelp, UpdateProgress) and its context, with a
// parameter set created by the plug-in's own configure entry.
#pragma once

#include "app/HostContext.h"
#include "host/PluginEntry.h"

namespace calvane::fuzz {

// From now on UpdateProgress asks the plug-in to stop at its `reports`-th
// report (0: never), so that no iteration count, however large, runs long.
void StopAfterProgressReports(int reports);

// Calls entry `number` of the plug-in's table.
int CallEntry(int number, PluginContext* ctx);

// A context holding the plug-in's default set, made once.
app::AppContext& ConfiguredContext();

// Ends the run as a finding, naming `what`, unless `holds`.
void Require(bool holds, const char* what);

}  // namespace calvane::fuzz
