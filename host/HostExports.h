// Functions that the host program itself exports to the plug-in. They are
// resolved from the process that loads the plug-in.
#pragma once

#include "host/HostApi.h"

extern "C++" {
// Opens the named page of the host's help.
CALVANE_HOST_API void PluginHelp(const char* page);
// Reports `done` of `total` steps; a nonzero answer asks the plug-in to stop.
CALVANE_HOST_API int UpdateProgress(int done, int total);
}
